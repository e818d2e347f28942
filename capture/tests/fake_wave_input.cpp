#include "fake_wave_input.h"

#include <algorithm>
#include <utility>

FakeWaveInput *FakeWaveInput::s_current = nullptr;

// Stands for the device handle; never dereferenced.
static WaveDevice *const kHandle = reinterpret_cast<WaveDevice *>(0x5eed);

FakeWaveInput::FakeWaveInput() : table_{open, prepare, add, unprepare, start, stop, reset, close} {
    s_current = this;
    use_wave_input(&table_);
}

FakeWaveInput::~FakeWaveInput() {
    use_wave_input(nullptr);
    s_current = nullptr;
}

void FakeWaveInput::fail(const std::string &op, int nth) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    failures_.emplace_back(op, nth);
}

unsigned FakeWaveInput::call(const char *op, WaveHeader *header) {
    FakeWaveInput &self = *s_current;
    self.calls_.push_back({op, header});
    const int nth = static_cast<int>(std::count_if(self.calls_.begin(), self.calls_.end(),
                                                   [op](const Call &c) { return c.op == op; }));
    for (const auto &failure : self.failures_) {
        if (failure.first == op && failure.second == nth) {
            return 1;
        }
    }
    return 0;
}

unsigned FakeWaveInput::open(WaveHandle *device, const CaptureFormat *, WaveCallback callback,
                             std::uintptr_t instance) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    if (call("open", nullptr) != 0) {
        return 2;
    }
    *device = kHandle;
    s_current->callback_ = callback;
    s_current->instance_ = instance;
    s_current->open_ = true;
    return 0;
}

unsigned FakeWaveInput::prepare(WaveHandle, WaveHeader *header, unsigned) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    return call("prepare", header);
}

unsigned FakeWaveInput::add(WaveHandle, WaveHeader *header, unsigned) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    if (call("add", header) != 0) {
        return 1;
    }
    s_current->queue_.push_back(header);
    return 0;
}

unsigned FakeWaveInput::unprepare(WaveHandle, WaveHeader *header, unsigned) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    return call("unprepare", header);
}

unsigned FakeWaveInput::start(WaveHandle) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    if (call("start", nullptr) != 0) {
        return 1;
    }
    s_current->started_ = true;
    return 0;
}

unsigned FakeWaveInput::stop(WaveHandle) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    s_current->started_ = false;
    return call("stop", nullptr);
}

unsigned FakeWaveInput::reset(WaveHandle) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    FakeWaveInput &self = *s_current;
    self.started_ = false;
    while (!self.queue_.empty()) {
        WaveHeader *header = self.queue_.front();
        self.queue_.pop_front();
        self.callback_(kHandle, kWaveInData, self.instance_,
                       reinterpret_cast<std::uintptr_t>(header), 0);
    }
    return call("reset", nullptr);
}

unsigned FakeWaveInput::close(WaveHandle) {
    std::lock_guard<std::recursive_mutex> hold(s_current->lock_);
    s_current->open_ = false;
    s_current->queue_.clear();
    return call("close", nullptr);
}

void FakeWaveInput::set_fill(Fill fill) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    fill_ = std::move(fill);
}

bool FakeWaveInput::deliver(std::int16_t value) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    Fill saved = std::move(fill_);
    fill_ = [value](std::int16_t *samples, int count) {
        std::fill(samples, samples + count, value);
    };
    const bool delivered = deliver();
    fill_ = std::move(saved);
    return delivered;
}

bool FakeWaveInput::deliver() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!started_ || queue_.empty()) {
        return false;
    }
    WaveHeader *header = queue_.front();
    queue_.pop_front();
    auto *samples = reinterpret_cast<std::int16_t *>(wave_header_data(header));
    constexpr int kSamples = 1024; // the ring's 2048-byte buffers
    if (fill_) {
        fill_(samples, kSamples);
    } else {
        std::fill(samples, samples + kSamples, std::int16_t{0});
    }
    callback_(kHandle, kWaveInData, instance_, reinterpret_cast<std::uintptr_t>(header), 0);
    return true;
}

std::vector<FakeWaveInput::Call> FakeWaveInput::calls() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return calls_;
}

std::vector<WaveHeader *> FakeWaveInput::adds_since(std::size_t call_index) const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::vector<WaveHeader *> added;
    for (std::size_t n = call_index; n < calls_.size(); ++n) {
        if (calls_[n].op == "add") {
            added.push_back(calls_[n].header);
        }
    }
    return added;
}

std::size_t FakeWaveInput::queued() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return queue_.size();
}

bool FakeWaveInput::is_open() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return open_;
}

bool FakeWaveInput::is_started() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return started_;
}
