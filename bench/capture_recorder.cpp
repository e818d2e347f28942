#include "capture_recorder.h"

#include <mutex>

namespace {

std::mutex g_lock; // guards everything below
std::vector<RecordingWaveInput::Event> g_adds;
std::vector<RecordingWaveInput::Event> g_deliveries;
std::vector<std::int16_t> g_samples;
bool g_keep_samples = false;
bool g_in_reset = false;
WaveCallback g_callback = nullptr; // the ring's callback behind the recorder
WaveInput g_recording;

void record(std::vector<RecordingWaveInput::Event> &events, WaveHeader *header, bool by_reset) {
    if (events.size() < events.capacity()) {
        events.push_back({header, std::chrono::steady_clock::now(), by_reset});
    }
}

void recording_callback(WaveHandle device, unsigned message, std::uintptr_t instance,
                        std::uintptr_t param1, std::uintptr_t param2) {
    if (message == kWaveInData) {
        std::lock_guard<std::mutex> hold(g_lock);
        WaveHeader *header = reinterpret_cast<WaveHeader *>(param1);
        record(g_deliveries, header, g_in_reset);
        const auto *data = reinterpret_cast<const std::int16_t *>(wave_header_data(header));
        if (g_keep_samples && !g_in_reset && g_samples.size() + 1024 <= g_samples.capacity()) {
            g_samples.insert(g_samples.end(), data, data + 1024);
        }
    }
    g_callback(device, message, instance, param1, param2);
}

unsigned recording_open(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                        std::uintptr_t instance) {
    g_callback = callback;
    return platform_wave_input().open(device, format, recording_callback, instance);
}

unsigned recording_add(WaveHandle device, WaveHeader *header, unsigned size) {
    const unsigned result = platform_wave_input().add(device, header, size);
    if (result == 0) {
        std::lock_guard<std::mutex> hold(g_lock);
        record(g_adds, header, false);
    }
    return result;
}

unsigned recording_reset(WaveHandle device) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_in_reset = true;
    }
    // The reset's deliveries come back through the callback on this thread; the lock is
    // not held meanwhile, so the device's own thread can still finish a delivery.
    const unsigned result = platform_wave_input().reset(device);
    std::lock_guard<std::mutex> hold(g_lock);
    g_in_reset = false;
    return result;
}

} // namespace

RecordingWaveInput::RecordingWaveInput(std::size_t room, bool keep_samples) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_keep_samples = keep_samples;
    g_samples.clear();
    g_samples.reserve(keep_samples ? room * 1024 : 0);
    g_adds.clear();
    g_deliveries.clear();
    g_adds.reserve(room);
    g_deliveries.reserve(room);
    const WaveInput &platform = platform_wave_input();
    g_recording = platform;
    g_recording.open = recording_open;
    g_recording.add = recording_add;
    g_recording.reset = recording_reset;
    use_wave_input(&g_recording);
}

RecordingWaveInput::~RecordingWaveInput() { use_wave_input(nullptr); }

std::vector<RecordingWaveInput::Event> RecordingWaveInput::adds() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_adds;
}

std::vector<RecordingWaveInput::Event> RecordingWaveInput::deliveries() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_deliveries;
}

std::size_t RecordingWaveInput::delivered() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_deliveries.size();
}

std::size_t RecordingWaveInput::added() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_adds.size();
}

std::vector<std::int16_t> RecordingWaveInput::samples() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_samples;
}
