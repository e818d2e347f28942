#include "fake_wave_input.h"

#include <algorithm>

namespace {
FakeWaveInput *g_fake = nullptr;
WaveDevice *const kHandle = reinterpret_cast<WaveDevice *>(0x5eed); // never dereferenced
} // namespace

FakeWaveInput::FakeWaveInput() {
    static const WaveInput table = {
        [](WaveHandle *device, const CaptureFormat *, WaveCallback callback, std::uintptr_t user) {
            g_fake->callback_ = callback;
            g_fake->instance_ = user;
            const unsigned result = g_fake->call("open", nullptr);
            *device = result ? *device : kHandle;
            return result;
        },
        [](WaveHandle, WaveHeader *header, unsigned) { return g_fake->call("prepare", header); },
        [](WaveHandle, WaveHeader *header, unsigned) { return g_fake->call("add", header); },
        [](WaveHandle, WaveHeader *header, unsigned) { return g_fake->call("unprepare", header); },
        [](WaveHandle) { return g_fake->call("start", nullptr); },
        [](WaveHandle) { return g_fake->call("stop", nullptr); },
        [](WaveHandle) { return g_fake->call("reset", nullptr); },
        [](WaveHandle) { return g_fake->call("close", nullptr); },
    };
    g_fake = this;
    use_wave_input(&table);
}

FakeWaveInput::~FakeWaveInput() {
    use_wave_input(nullptr);
    g_fake = nullptr;
}

unsigned FakeWaveInput::call(const std::string &op, WaveHeader *header) {
    calls_.push_back({op, header});
    if (std::count(failures_.begin(), failures_.end(), std::make_pair(op, count(op))))
        return kWaveError;
    open_ = op == "open" || (open_ && op != "close");
    started_ = op == "start" || (started_ && op != "stop" && op != "reset" && op != "close");
    if (op == "add")
        queue_.push_back(header);
    while (op == "reset" && !queue_.empty()) // a reset returns every queued buffer
        give_back();
    if (op == "close")
        queue_.clear();
    return kWaveOk;
}

bool FakeWaveInput::deliver(std::int16_t value) {
    return deliver_with([value](std::int16_t *samples, int n) { std::fill_n(samples, n, value); });
}

bool FakeWaveInput::deliver_with(const Fill &fill) {
    if (!started_ || queue_.empty())
        return false;
    auto *samples = reinterpret_cast<std::int16_t *>(wave_header_data(queue_.front()));
    // The ring's buffers hold 1024 samples.
    fill ? fill(samples, 1024) : void(std::fill_n(samples, 1024, std::int16_t{0}));
    give_back();
    return true;
}

void FakeWaveInput::give_back() {
    WaveHeader *header = queue_.front();
    queue_.pop_front();
    callback_(kHandle, kWaveInData, instance_, reinterpret_cast<std::uintptr_t>(header), 0);
}

int FakeWaveInput::count(const std::string &op) const {
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call &c) { return c.op == op; }));
}
