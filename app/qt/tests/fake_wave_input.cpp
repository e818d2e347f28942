#include "fake_wave_input.h"

#include <cmath>
#include <cstdint>
#include <deque>

namespace fake_input {
namespace {

struct State {
    bool failOpen = false;
    bool recording = false;
    int opens = 0;
    WaveCallback callback = nullptr;
    std::uintptr_t instance = 0;
    std::deque<WaveHeader *> queued;
    double phase = 0.0;
};
State g_state;
WaveHandle const kHandle = reinterpret_cast<WaveHandle>(&g_state);

void give_back(WaveHeader *header) {
    g_state.callback(kHandle, kWaveInData, g_state.instance,
                     reinterpret_cast<std::uintptr_t>(header), 0);
}

const WaveInput kFake = {
    [](WaveHandle *device, const CaptureFormat *, WaveCallback callback,
       std::uintptr_t instance) -> unsigned {
        if (g_state.failOpen) {
            return 2;
        }
        ++g_state.opens;
        g_state.callback = callback;
        g_state.instance = instance;
        *device = kHandle;
        return 0;
    },
    [](WaveHandle, WaveHeader *, unsigned) -> unsigned { return 0; },
    [](WaveHandle, WaveHeader *header, unsigned) -> unsigned {
        g_state.queued.push_back(header);
        return 0;
    },
    [](WaveHandle, WaveHeader *, unsigned) -> unsigned { return 0; },
    [](WaveHandle) -> unsigned { return g_state.recording = true, 0u; },
    [](WaveHandle) -> unsigned { return g_state.recording = false, 0u; },
    [](WaveHandle) -> unsigned {
        for (; !g_state.queued.empty(); g_state.queued.pop_front()) {
            give_back(g_state.queued.front());
        }
        return 0;
    },
    [](WaveHandle) -> unsigned { return g_state.recording = false, 0u; },
};

} // namespace

void install() {
    g_state = State{};
    use_wave_input(&kFake);
}
void uninstall() { use_wave_input(nullptr); }
void fail_open(bool fail) { g_state.failOpen = fail; }
bool recording() { return g_state.recording; }
int opens() { return g_state.opens; }

int deliver(double hz, int blocks) {
    int delivered = 0;
    for (; delivered < blocks && g_state.recording && !g_state.queued.empty(); ++delivered) {
        WaveHeader *header = g_state.queued.front();
        g_state.queued.pop_front();
        auto *samples = reinterpret_cast<std::int16_t *>(wave_header_data(header));
        for (int i = 0; i < 1024; ++i, g_state.phase += 2.0 * M_PI * hz / 22050.0) {
            samples[i] = static_cast<std::int16_t>(16000.0 * std::sin(g_state.phase));
        }
        give_back(header);
    }
    return delivered;
}

} // namespace fake_input
