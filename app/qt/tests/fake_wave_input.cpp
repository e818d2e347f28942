#include "fake_wave_input.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>

namespace fake_input {
namespace {

struct State {
    bool failOpen = false;
    bool open = false;
    bool started = false;
    int opens = 0;
    WaveCallback callback = nullptr;
    std::uintptr_t instance = 0;
    std::deque<WaveHeader *> queued;
    double phase = 0.0;
};
State g_state;
char g_deviceToken; // the handle the fake hands out

WaveHandle handle() { return reinterpret_cast<WaveHandle>(&g_deviceToken); }

unsigned fakeOpen(WaveHandle *device, const CaptureFormat *, WaveCallback callback,
                  std::uintptr_t instance) {
    if (g_state.failOpen) {
        return 2;
    }
    ++g_state.opens;
    g_state.open = true;
    g_state.callback = callback;
    g_state.instance = instance;
    *device = handle();
    return 0;
}
unsigned fakePrepare(WaveHandle, WaveHeader *, unsigned) { return 0; }
unsigned fakeAdd(WaveHandle, WaveHeader *header, unsigned) {
    g_state.queued.push_back(header);
    return 0;
}
unsigned fakeUnprepare(WaveHandle, WaveHeader *, unsigned) { return 0; }
unsigned fakeStart(WaveHandle) {
    g_state.started = true;
    return 0;
}
unsigned fakeStop(WaveHandle) {
    g_state.started = false;
    return 0;
}
unsigned fakeReset(WaveHandle device) {
    while (!g_state.queued.empty()) {
        WaveHeader *header = g_state.queued.front();
        g_state.queued.pop_front();
        g_state.callback(device, kWaveInData, g_state.instance,
                         reinterpret_cast<std::uintptr_t>(header), 0);
    }
    return 0;
}
unsigned fakeClose(WaveHandle) {
    g_state.open = false;
    g_state.started = false;
    g_state.queued.clear();
    return 0;
}

const WaveInput kFake = {fakeOpen,  fakePrepare, fakeAdd,   fakeUnprepare,
                         fakeStart, fakeStop,    fakeReset, fakeClose};

} // namespace

void install() {
    g_state = State{};
    use_wave_input(&kFake);
}

void uninstall() { use_wave_input(nullptr); }

void fail_open(bool fail) { g_state.failOpen = fail; }

int deliver(double hz, int blocks) {
    int delivered = 0;
    for (; delivered < blocks && g_state.started && !g_state.queued.empty(); ++delivered) {
        WaveHeader *header = g_state.queued.front();
        g_state.queued.pop_front();
        auto *samples = reinterpret_cast<std::int16_t *>(wave_header_data(header));
        for (int i = 0; i < 1024; ++i) {
            samples[i] = static_cast<std::int16_t>(16000.0 * std::sin(g_state.phase));
            g_state.phase += 2.0 * M_PI * hz / 22050.0;
        }
        g_state.callback(handle(), kWaveInData, g_state.instance,
                         reinterpret_cast<std::uintptr_t>(header), 0);
    }
    return delivered;
}

bool recording() { return g_state.open && g_state.started; }
int opens() { return g_state.opens; }

} // namespace fake_input
