// What the Windows program records from: the default input, a recording device found by its
// name, or what the computer plays; and the wave-input device that opens the choice. The
// system numbers its devices anew between runs and as devices come and go, so no number is
// kept: the name is looked up at every open.
#include "capture/sound_sources.h"

#include "capture/wave_input_loopback.h"
#include "capture/wave_input_winmm.h"

#include <windows.h>

#include <mmsystem.h>

namespace {

// The source choice and the device it opened. Window thread only.
std::string g_chosen;                // empty: the default input
const WaveInput *g_opened = nullptr; // the device of the last successful open
bool g_chosen_failed = false;        // the chosen source's last open or recording failed

// The system's recording devices in its order now, at most kMaxSoundSources of them.
UINT device_count() {
    const UINT count = waveInGetNumDevs();
    return count < kMaxSoundSources ? count : static_cast<UINT>(kMaxSoundSources);
}

// The number the device named `name` has now (the first of that name); false when none has.
bool find_device(const std::string &name, UINT *device_id) {
    const UINT count = device_count();
    for (UINT id = 0; id < count; ++id) {
        if (winmm_device_name(id) == name) {
            *device_id = id;
            return true;
        }
    }
    return false;
}

// Opens the chosen source. A chosen device that is not listed fails like any device that
// cannot be opened, so the pause button shows it; when its last attempt failed already (the
// user is retrying), the default input is chosen and opened instead.
unsigned open_chosen(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                     std::uintptr_t instance) {
    *device = nullptr;
    g_opened = nullptr;
    UINT device_id = WAVE_MAPPER;
    const bool what_plays = g_chosen == kWhatPlaysSource;
    // Whether the system still offers loopback costs a probe stream of its own: asked only on
    // a retry, since a first open where it has none fails as an unlisted device does.
    const bool listed = g_chosen.empty() || (what_plays ? !g_chosen_failed || loopback_offered()
                                                        : find_device(g_chosen, &device_id));
    if (!listed && !g_chosen_failed) {
        g_chosen_failed = true;
        return kWaveBadDevice;
    }
    if (!listed)
        g_chosen.clear();
    const bool loopback = listed && what_plays;
    const WaveInput &input = loopback ? loopback_wave_input() : winmm_wave_input();
    const unsigned result = loopback
                                ? input.open(device, format, callback, instance)
                                : open_winmm_device(device_id, device, format, callback, instance);
    g_chosen_failed = result != kWaveOk;
    if (result == kWaveOk)
        g_opened = &input;
    return result;
}

// The other operations go to the device that was opened, whatever is chosen meanwhile.
unsigned prepare(WaveHandle device, WaveHeader *header, unsigned size) {
    return g_opened ? g_opened->prepare(device, header, size) : kWaveInvalidHandle;
}
// A buffer the device refuses ends the recording: a retry may then fall back.
unsigned add(WaveHandle device, WaveHeader *header, unsigned size) {
    const unsigned result = g_opened ? g_opened->add(device, header, size) : kWaveInvalidHandle;
    if (result != kWaveOk)
        g_chosen_failed = true;
    return result;
}
unsigned unprepare(WaveHandle device, WaveHeader *header, unsigned size) {
    return g_opened ? g_opened->unprepare(device, header, size) : kWaveInvalidHandle;
}
unsigned start(WaveHandle device) {
    return g_opened ? g_opened->start(device) : kWaveInvalidHandle;
}
unsigned stop(WaveHandle device) { return g_opened ? g_opened->stop(device) : kWaveInvalidHandle; }
unsigned reset(WaveHandle device) {
    return g_opened ? g_opened->reset(device) : kWaveInvalidHandle;
}
unsigned close(WaveHandle device) {
    const unsigned result = g_opened ? g_opened->close(device) : kWaveInvalidHandle;
    g_opened = nullptr;
    return result;
}

const WaveInput kChosen = {open_chosen, prepare, add, unprepare, start, stop, reset, close};

} // namespace

const WaveInput &platform_wave_input() { return kChosen; }

SourceChoices read_source_choices() {
    SourceChoices choices;
    choices.answered = true;
    const UINT count = device_count();
    for (UINT id = 0; id < count; ++id) {
        const std::string name = winmm_device_name(id);
        if (!name.empty())
            choices.sources.push_back({name, name});
    }
    if (loopback_offered())
        choices.sources.push_back({kWhatPlaysSource, std::string()});
    choices.checked = g_chosen;
    return choices;
}

bool choose_source(const std::string &name) {
    g_chosen = name;
    g_chosen_failed = false;
    return true;
}
