#pragma once

#include <cstddef>
#include <cstdint>

// The wave-input device the capture ring is written against. It has the semantics of the
// platform's wave input: open a device for a format with a callback and an instance value;
// prepare, add and unprepare buffer headers; start, stop, reset, close. Filled buffers come
// back through the callback (message kWaveInData, param1 the header) on the device's own
// thread, in the order they were added; reset returns every queued buffer the same way.
// A device that fails while recording returns the buffer it was filling and then refuses
// every further buffer (add fails), so the ring stops. Every operation returns kWaveOk on
// success and one of the other results below on failure.
// One file per platform implements it (PulseAudio on Linux, winmm on Windows): it defines
// platform_wave_input and the four header helpers below; wave_input and use_wave_input are
// portable (wave_input.cpp). Tests install a scriptable fake with use_wave_input.

// The platform's wave header: the ring lays out each capture buffer as a header followed by
// its data bytes, so its size comes from the type (wave_header_size), never from a number.
struct WaveHeader;
struct WaveDevice;
using WaveHandle = WaveDevice *;

using WaveCallback = void (*)(WaveHandle device, unsigned message, std::uintptr_t instance,
                              std::uintptr_t param1, std::uintptr_t param2);

constexpr unsigned kWaveInOpen = 0x3BE;  // WIM_OPEN
constexpr unsigned kWaveInClose = 0x3BF; // WIM_CLOSE
constexpr unsigned kWaveInData = 0x3C0;  // WIM_DATA

// Results of the operations, with the values the platform's wave input gives for the same
// conditions, so that every back-end and the ring speak of a failure alike.
constexpr unsigned kWaveOk = 0;            // MMSYSERR_NOERROR
constexpr unsigned kWaveError = 1;         // MMSYSERR_ERROR: the device refuses, or failed
constexpr unsigned kWaveBadDevice = 2;     // MMSYSERR_BADDEVICEID: no device to open
constexpr unsigned kWaveInvalidHandle = 5; // MMSYSERR_INVALHANDLE: no open device
constexpr unsigned kWaveInvalidParam = 11; // MMSYSERR_INVALPARAM: a missing or bad argument
constexpr unsigned kWaveBadFormat = 32;    // WAVERR_BADFORMAT: a format the device cannot record
constexpr unsigned kWaveStillQueued = 33;  // WAVERR_STILLPLAYING: the header is still queued
constexpr unsigned kWaveUnprepared = 34;   // WAVERR_UNPREPARED: the header was not prepared

// Mono 16-bit PCM at 22050 samples per second, laid out like WAVEFORMATEX's fields.
struct CaptureFormat {
    std::uint16_t format_tag;        // 1, PCM
    std::uint16_t channels;          // 1
    std::uint32_t samples_per_sec;   // 22050
    std::uint32_t avg_bytes_per_sec; // 44100
    std::uint16_t block_align;       // 2
    std::uint16_t bits_per_sample;   // 16
    std::uint16_t extra_size;        // 0
};

struct WaveInput {
    unsigned (*open)(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                     std::uintptr_t instance);
    unsigned (*prepare)(WaveHandle device, WaveHeader *header, unsigned header_size);
    unsigned (*add)(WaveHandle device, WaveHeader *header, unsigned header_size);
    unsigned (*unprepare)(WaveHandle device, WaveHeader *header, unsigned header_size);
    unsigned (*start)(WaveHandle device);
    unsigned (*stop)(WaveHandle device);
    unsigned (*reset)(WaveHandle device);
    unsigned (*close)(WaveHandle device);
};

// The platform's device, and the one the ring uses (the platform's unless a test installed
// another; nullptr restores the platform's).
const WaveInput &platform_wave_input();
const WaveInput &wave_input();
void use_wave_input(const WaveInput *input);

// Header access, implemented with the platform's header type.
std::size_t wave_header_size();
// Sets the data pointer, buffer length and user value; every other field stays as it is.
void wave_header_init(WaveHeader *header, char *data, std::uint32_t length, std::uintptr_t user);
char *wave_header_data(const WaveHeader *header);
std::uintptr_t wave_header_user(const WaveHeader *header);
