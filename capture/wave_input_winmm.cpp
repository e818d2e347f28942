// winmm's waveIn functions as a wave-input device, with the platform's WAVEHDR as the wave
// header. Which device it opens is decided by the source choice (sound_sources_win32.cpp).
#include "wave_input_winmm.h"

#include <windows.h>

#include <mmsystem.h>

struct WaveHeader {
    WAVEHDR header;
};

// winmm's results are passed on as they are: they are the interface's own.
static_assert(kWaveOk == MMSYSERR_NOERROR && kWaveError == MMSYSERR_ERROR &&
                  kWaveBadDevice == MMSYSERR_BADDEVICEID &&
                  kWaveInvalidHandle == MMSYSERR_INVALHANDLE &&
                  kWaveInvalidParam == MMSYSERR_INVALPARAM && kWaveBadFormat == WAVERR_BADFORMAT &&
                  kWaveStillQueued == WAVERR_STILLPLAYING && kWaveUnprepared == WAVERR_UNPREPARED,
              "the wave-input results are winmm's");

namespace {

// The ring's callback, called from winmm's own thread for the open device. Set before each
// open, read only by the device's thread while that device is open.
WaveCallback g_callback = nullptr;

HWAVEIN device_of(WaveHandle device) { return reinterpret_cast<HWAVEIN>(device); }
WAVEHDR *header_of(WaveHeader *header) { return &header->header; }

// winmm calls back with its own calling convention; pass the call on unchanged.
void CALLBACK winmm_callback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2) {
    WaveCallback callback = g_callback;
    if (callback)
        callback(reinterpret_cast<WaveHandle>(device), message, instance, param1, param2);
}

} // namespace

unsigned open_winmm_device(unsigned device_id, WaveHandle *device, const CaptureFormat *format,
                           WaveCallback callback, std::uintptr_t instance) {
    WAVEFORMATEX wave_format = {};
    wave_format.wFormatTag = format->format_tag;
    wave_format.nChannels = format->channels;
    wave_format.nSamplesPerSec = format->samples_per_sec;
    wave_format.nAvgBytesPerSec = format->avg_bytes_per_sec;
    wave_format.nBlockAlign = format->block_align;
    wave_format.wBitsPerSample = format->bits_per_sample;
    wave_format.cbSize = format->extra_size;
    g_callback = callback;
    HWAVEIN opened = nullptr;
    const MMRESULT result =
        waveInOpen(&opened, device_id, &wave_format, reinterpret_cast<DWORD_PTR>(winmm_callback),
                   instance, CALLBACK_FUNCTION);
    *device = reinterpret_cast<WaveHandle>(opened);
    return result;
}

namespace {

unsigned open_default(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                      std::uintptr_t instance) {
    return open_winmm_device(WAVE_MAPPER, device, format, callback, instance);
}

unsigned prepare(WaveHandle device, WaveHeader *header, unsigned size) {
    return waveInPrepareHeader(device_of(device), header_of(header), size);
}
unsigned add(WaveHandle device, WaveHeader *header, unsigned size) {
    return waveInAddBuffer(device_of(device), header_of(header), size);
}
unsigned unprepare(WaveHandle device, WaveHeader *header, unsigned size) {
    return waveInUnprepareHeader(device_of(device), header_of(header), size);
}
unsigned start(WaveHandle device) { return waveInStart(device_of(device)); }
unsigned stop(WaveHandle device) { return waveInStop(device_of(device)); }
unsigned reset(WaveHandle device) { return waveInReset(device_of(device)); }
unsigned close(WaveHandle device) { return waveInClose(device_of(device)); }

const WaveInput kWinmm = {open_default, prepare, add, unprepare, start, stop, reset, close};

} // namespace

const WaveInput &winmm_wave_input() { return kWinmm; }

std::string winmm_device_name(unsigned device_id) {
    WAVEINCAPSW caps = {};
    if (waveInGetDevCapsW(device_id, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
        return std::string();
    caps.szPname[MAXPNAMELEN - 1] = L'\0';
    char name[4 * MAXPNAMELEN] = {};
    if (!WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, name, sizeof(name), nullptr, nullptr))
        return std::string();
    return name;
}

// WAVEHDR is 32 bytes on 32-bit Windows and 48 on 64-bit: always the type's own size.
std::size_t wave_header_size() { return sizeof(WaveHeader); }

void wave_header_init(WaveHeader *header, char *data, std::uint32_t length, std::uintptr_t user) {
    header->header.lpData = data;
    header->header.dwBufferLength = length;
    header->header.dwUser = user;
}

char *wave_header_data(const WaveHeader *header) { return header->header.lpData; }

std::uintptr_t wave_header_user(const WaveHeader *header) { return header->header.dwUser; }
