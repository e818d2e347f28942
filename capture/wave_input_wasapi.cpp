// What the computer plays, on Windows: a loopback stream of the default output in shared
// mode, through the system's audio endpoint service, read by a thread of the device's own
// that converts each packet to the capture format and fills the ring's buffers in order.
//
// Everything COM is done on that thread, in the multithreaded apartment, so the window's
// thread keeps whatever COM state it has (or none). The service is created only when the
// device is opened or asked about: the program imports nothing new but ole32, and starts on
// systems that have no such service.
//
// The engine sends no packets at all while nothing plays, so the thread keeps its own clock:
// when the packets fall behind it, silence fills in and the blocks keep coming. It checks the
// default output now and then and reopens on a new one, so the recording follows the output
// when headphones are plugged in or the user picks another.
//
// Locking: the queue, the flags and the buffers' contents are guarded by the device's lock.
// The wave callback is called with that lock held (from the device thread for deliveries and
// failures, from the caller's thread for reset); the ring's callback only posts a message.
#include "capture/wave_input_loopback.h"

#include "capture/rate_converter.h"

#include <windows.h>

#include <mmsystem.h>

// Defines the service's class and interface identities here, where they are used: the
// import library of the toolchain lacks them.
#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstring>
#include <cwchar>
#include <new>

// The ring's headers are WAVEHDRs whichever device fills them: the same definition as the
// winmm device's.
struct WaveHeader {
    WAVEHDR header;
};

namespace {

constexpr int kMaxQueued = 32;
constexpr DWORD kMaxBufferBytes = 4 * 2048;
constexpr REFERENCE_TIME kEngineBuffer = 2000000; // 200 ms, in the engine's 100 ns units
constexpr DWORD kPollMs = 10;                     // how often the thread looks for packets
constexpr DWORD kRecheckMs = 500;                 // how often it asks which output is the default
constexpr DWORD kSilenceAfterMs = 50;     // packets this late are taken as none: silence fills in
constexpr UINT32 kMaxPacketsPerPoll = 64; // so that a flood of packets never starves a close
// Bounds on waiting for the service: a hung service fails the open instead of freezing the
// window.
constexpr DWORD kOpenTimeoutMs = 5000;
constexpr DWORD kCloseTimeoutMs = 5000;
constexpr DWORD kProbeTimeoutMs = 2000;

constexpr WORD kTagPcm = 1;
constexpr WORD kTagFloat = 3;

template <typename T> void release(T *&object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

// Objects shared by the window's thread and a thread of their own; whichever lets go last
// frees it, so that a thread outliving a timed-out wait still has its object.
template <typename T> void let_go(T *shared) {
    if (InterlockedDecrement(&shared->references) == 0)
        delete shared;
}

class Locked {
  public:
    explicit Locked(CRITICAL_SECTION *lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~Locked() { LeaveCriticalSection(lock_); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

  private:
    CRITICAL_SECTION *lock_;
};

// The mix format as the converter reads it; false for a format it cannot read.
bool read_mix_format(const WAVEFORMATEX &wave, MixFormat *format) {
    WORD tag = wave.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        if (wave.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
            return false;
        const GUID &sub = reinterpret_cast<const WAVEFORMATEXTENSIBLE &>(wave).SubFormat;
        // The wave subtypes are the old format tags put into one base identity.
        static const unsigned char kBase[8] = {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
        if (sub.Data1 > 0xFFFF || sub.Data2 != 0 || sub.Data3 != 0x10 ||
            std::memcmp(sub.Data4, kBase, sizeof kBase) != 0)
            return false;
        tag = static_cast<WORD>(sub.Data1);
    }
    if ((tag != kTagPcm && tag != kTagFloat) ||
        wave.nBlockAlign != wave.nChannels * (wave.wBitsPerSample / 8u))
        return false;
    *format = {static_cast<std::uint32_t>(wave.nSamplesPerSec), wave.nChannels, wave.wBitsPerSample,
               tag == kTagFloat ? SampleKind::Float : SampleKind::Integer};
    return true;
}

// A loopback stream of the default output and the converter for its format. Used only on the
// thread that opened it, which is in the multithreaded apartment.
struct Endpoint {
    IMMDeviceEnumerator *enumerator = nullptr;
    IAudioClient *client = nullptr;
    IAudioCaptureClient *capture = nullptr;
    wchar_t *id = nullptr; // the output's identity, to notice another default
    RateConverter converter;

    HRESULT open();
    void close();
    void forget(); // closes, and lets go of the enumerator too
    bool default_changed();
};

// Opens the stream on the output that is the default now; a failure leaves it closed.
HRESULT Endpoint::open() {
    HRESULT result = S_OK;
    if (!enumerator)
        result = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, reinterpret_cast<void **>(&enumerator));
    IMMDevice *output = nullptr;
    WAVEFORMATEX *wave = nullptr;
    MixFormat format = {};
    if (SUCCEEDED(result))
        result = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &output);
    if (SUCCEEDED(result))
        result = output->GetId(&id);
    if (SUCCEEDED(result))
        result = output->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void **>(&client));
    if (SUCCEEDED(result))
        result = client->GetMixFormat(&wave);
    if (SUCCEEDED(result) && !(read_mix_format(*wave, &format) && converter.open(format)))
        result = AUDCLNT_E_UNSUPPORTED_FORMAT;
    // The engine mixes at its own format; asking it for the capture format would fail
    // on newer systems, so the program converts.
    if (SUCCEEDED(result))
        result = client->Initialize(AUDCLNT_SHAREMODE_SHARED,     // never exclusive
                                    AUDCLNT_STREAMFLAGS_LOOPBACK, // what the output plays
                                    kEngineBuffer,                // the engine's buffer
                                    0,                            // the period: shared mode's own
                                    wave, nullptr);
    // Systems without loopback refuse here (AUDCLNT_E_WRONG_ENDPOINT_TYPE).
    if (SUCCEEDED(result))
        result = client->GetService(IID_IAudioCaptureClient, reinterpret_cast<void **>(&capture));
    CoTaskMemFree(wave);
    release(output);
    if (FAILED(result))
        close();
    return result;
}

// Closes the stream; the enumerator stays for the next open.
void Endpoint::close() {
    release(capture);
    release(client);
    CoTaskMemFree(id);
    id = nullptr;
}

// Closes the stream and lets go of the enumerator: the thread is leaving the apartment.
void Endpoint::forget() {
    close();
    release(enumerator);
}

// True when another output than the open one is the default now. With no default at
// all the open one stays: if it has gone, its stream says so.
bool Endpoint::default_changed() {
    IMMDevice *output = nullptr;
    wchar_t *now = nullptr;
    bool changed = false;
    if (enumerator && SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &output)) &&
        SUCCEEDED(output->GetId(&now)))
        changed = !id || std::wcscmp(now, id) != 0;
    CoTaskMemFree(now);
    release(output);
    return changed;
}

} // namespace

struct WaveDevice {
    WaveCallback callback = nullptr;
    std::uintptr_t instance = 0;
    LONG references = 2;     // the window thread's and the device thread's
    HANDLE thread = nullptr; // the device thread, waited for at close
    HANDLE wake = nullptr;   // auto-reset: the window's thread has news for the device thread
    HANDLE opened = nullptr; // manual-reset: open_result is set
    HRESULT open_result = E_FAIL;
    CRITICAL_SECTION lock;

    // Guarded by lock.
    WaveHeader *queue[kMaxQueued] = {}; // buffers waiting to be filled, oldest first
    int first = 0;
    int count = 0;
    DWORD filled = 0; // bytes already in the oldest queued buffer
    bool started = false;
    bool failed = false; // the output went away: no more buffers are taken
    bool quit = false;   // closed: the device thread ends

    // The device thread's own.
    Endpoint endpoint;
    bool running = false;     // the stream is started
    DWORD clock_start = 0;    // the tick at which the clock last agreed with the stream
    ULONGLONG clock_base = 0; // samples made by then
    ULONGLONG written = 0;    // samples made since the stream started, silence included

    WaveDevice();
    ~WaveDevice();
    WaveDevice(const WaveDevice &) = delete;
    WaveDevice &operator=(const WaveDevice &) = delete;

    // Recording, the lock held (taken by record itself): on the device thread; deliver_front
    // also on the window thread, for reset.
    void deliver_front(DWORD bytes);
    void record(const BYTE *data, UINT32 frames);

    // The device thread's work.
    void fail();
    void follow_default();
    void lost(HRESULT result);
    HRESULT take_packets();
    void keep_time();
    void run();
    static DWORD WINAPI thread_main(void *self);
};

WaveDevice::WaveDevice() {
    InitializeCriticalSection(&lock);
    wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WaveDevice::~WaveDevice() {
    if (thread)
        CloseHandle(thread);
    if (wake)
        CloseHandle(wake);
    if (opened)
        CloseHandle(opened);
    DeleteCriticalSection(&lock);
}

// With the lock held: takes the oldest queued buffer off the queue with `bytes` recorded
// in it and hands it to the window.
void WaveDevice::deliver_front(DWORD bytes) {
    WaveHeader *header = queue[first];
    first = (first + 1) % kMaxQueued;
    --count;
    filled = 0;
    header->header.dwBytesRecorded = bytes;
    header->header.dwFlags = (header->header.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    callback(this, kWaveInData, instance, reinterpret_cast<std::uintptr_t>(header), 0);
}

// Converts `frames` frames of the mix format (null: silence) into the queued buffers,
// handing each over once full. With no buffer queued the samples are converted and
// dropped, so that the stream stays in step with the clock.
void WaveDevice::record(const BYTE *data, UINT32 frames) {
    Locked hold(&lock);
    while (frames > 0 && started && !failed) {
        std::int16_t dropped[256];
        std::int16_t *out = dropped;
        std::size_t room = sizeof dropped / sizeof *dropped;
        if (count > 0) {
            const WAVEHDR &header = queue[first]->header;
            out = reinterpret_cast<std::int16_t *>(header.lpData + filled);
            room = (header.dwBufferLength - filled) / sizeof(std::int16_t);
        }
        std::size_t made = 0;
        const std::size_t used = endpoint.converter.convert(data, frames, out, room, &made);
        if (used == 0 && made == 0)
            return;
        if (data)
            data += used * endpoint.converter.frame_bytes();
        frames -= static_cast<UINT32>(used);
        written += made;
        if (out != dropped) {
            filled += static_cast<DWORD>(made * sizeof(std::int16_t));
            if (filled == queue[first]->header.dwBufferLength)
                deliver_front(filled);
        }
    }
}

// The output went away or the service failed. The buffer being filled comes back as
// delivered (silent after what it already holds), the rest wait for the reset, and no
// buffer is taken any more, so the ring's next re-queue fails and capture stops.
void WaveDevice::fail() {
    {
        Locked hold(&lock);
        if (!failed && count > 0) {
            WAVEHDR &header = queue[first]->header;
            std::memset(header.lpData + filled, 0, header.dwBufferLength - filled);
            failed = true;
            deliver_front(header.dwBufferLength);
        }
        failed = true;
    }
    if (running && endpoint.client)
        endpoint.client->Stop();
    running = false;
    endpoint.close();
}

// Reopens on the output that is the default now, started if the old one was.
void WaveDevice::follow_default() {
    if (running && endpoint.client)
        endpoint.client->Stop();
    endpoint.close();
    if (FAILED(endpoint.open()) || (running && FAILED(endpoint.client->Start())))
        fail();
}

// A call on the stream failed: a stream invalidated because another output became the
// default follows it; anything else ends the recording as a failed device.
void WaveDevice::lost(HRESULT result) {
    if (result == AUDCLNT_E_DEVICE_INVALIDATED && endpoint.default_changed())
        follow_default();
    else
        fail();
}

// Takes every packet waiting (up to a bound); the result of the first failing call.
HRESULT WaveDevice::take_packets() {
    for (UINT32 packet = 0; packet < kMaxPacketsPerPoll; ++packet) {
        UINT32 frames = 0;
        HRESULT result = endpoint.capture->GetNextPacketSize(&frames);
        if (FAILED(result) || frames == 0)
            return result;
        BYTE *data = nullptr;
        DWORD flags = 0;
        result = endpoint.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
        if (FAILED(result) || result == AUDCLNT_S_BUFFER_EMPTY)
            return FAILED(result) ? result : S_OK;
        record(flags & AUDCLNT_BUFFERFLAGS_SILENT ? nullptr : data, frames);
        result = endpoint.capture->ReleaseBuffer(frames);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

// Fills in silence when the packets have fallen behind the clock by more than a few
// packets' worth: while nothing plays there are none at all. A stream that runs ahead of
// the clock sets it, and so does one that fell behind by more than a second (the thread
// was held up): the blocks go on from now rather than rushing to make up the time.
void WaveDevice::keep_time() {
    const DWORD now = GetTickCount();
    const ULONGLONG due =
        clock_base + ULONGLONG(now - clock_start) * RateConverter::kOutputRate / 1000;
    const ULONGLONG slack = ULONGLONG(kSilenceAfterMs) * RateConverter::kOutputRate / 1000;
    if (written >= due || due - written > RateConverter::kOutputRate) {
        clock_start = now;
        clock_base = written;
    } else if (due - written > slack) {
        const ULONGLONG missing = due - written - slack;
        record(nullptr,
               static_cast<UINT32>(
                   missing * endpoint.converter.input_rate() / RateConverter::kOutputRate + 1));
    }
}

// Until closed: starts and stops the stream as the window asks, takes its packets, keeps the
// blocks coming, and follows the default output.
void WaveDevice::run() {
    DWORD last_check = GetTickCount();
    for (;;) {
        WaitForSingleObject(wake, kPollMs);
        bool wanted;
        {
            Locked hold(&lock);
            if (quit)
                break;
            wanted = started && !failed;
        }
        if (wanted != running && endpoint.client) {
            const HRESULT result = wanted ? endpoint.client->Start() : endpoint.client->Stop();
            running = wanted;
            clock_start = GetTickCount();
            clock_base = written;
            if (FAILED(result))
                lost(result);
        }
        if (running) {
            const HRESULT result = take_packets();
            if (FAILED(result))
                lost(result);
            else
                keep_time();
        }
        if (endpoint.client && GetTickCount() - last_check >= kRecheckMs) {
            last_check = GetTickCount();
            if (endpoint.default_changed())
                follow_default();
        }
    }
    if (running && endpoint.client)
        endpoint.client->Stop();
}

// The device thread: opens the stream, tells the opener how that went, and runs it until
// closed; then lets go of the device.
DWORD WINAPI WaveDevice::thread_main(void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    device->open_result = SUCCEEDED(apartment) ? device->endpoint.open() : apartment;
    SetEvent(device->opened);
    if (SUCCEEDED(device->open_result))
        device->run();
    device->endpoint.forget();
    if (SUCCEEDED(apartment))
        CoUninitialize();
    let_go(device);
    return 0;
}

namespace {

// A question to the service on a thread of its own, in the multithreaded apartment.
struct Probe {
    LONG references = 2;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool offered = false;
    ~Probe();

    static DWORD WINAPI thread_main(void *self);
};

Probe::~Probe() {
    if (done)
        CloseHandle(done);
}

// Opens a stream as recording would, notes whether that worked, and lets go.
DWORD WINAPI Probe::thread_main(void *self) {
    auto *probe = static_cast<Probe *>(self);
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        Endpoint endpoint;
        probe->offered = SUCCEEDED(endpoint.open());
        endpoint.forget();
        CoUninitialize();
    }
    SetEvent(probe->done);
    let_go(probe);
    return 0;
}

unsigned loopback_open(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                       std::uintptr_t instance) {
    if (!device || !format || !callback)
        return kWaveInvalidParam;
    if (format->format_tag != WAVE_FORMAT_PCM || format->channels != 1 ||
        format->samples_per_sec != RateConverter::kOutputRate || format->bits_per_sample != 16 ||
        format->block_align != 2)
        return kWaveBadFormat;
    WaveDevice *opened = new (std::nothrow) WaveDevice;
    if (!opened)
        return kWaveError;
    opened->callback = callback;
    opened->instance = instance;
    if (opened->wake && opened->opened)
        opened->thread = CreateThread(nullptr, 0, WaveDevice::thread_main, opened, 0, nullptr);
    if (!opened->thread) {
        delete opened;
        return kWaveError;
    }
    if (WaitForSingleObject(opened->opened, kOpenTimeoutMs) != WAIT_OBJECT_0 ||
        FAILED(opened->open_result)) {
        {
            Locked hold(&opened->lock);
            opened->quit = true;
        }
        SetEvent(opened->wake);
        let_go(opened);
        return kWaveBadDevice;
    }
    *device = opened;
    callback(opened, kWaveInOpen, instance, 0, 0);
    return kWaveOk;
}

unsigned header_call_error(WaveHandle device, const WaveHeader *header, unsigned header_size) {
    if (!device)
        return kWaveInvalidHandle;
    if (!header || header_size < sizeof(WaveHeader))
        return kWaveInvalidParam;
    return kWaveOk;
}

unsigned loopback_prepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size))
        return error;
    const WAVEHDR &wave = header->header;
    if (!wave.lpData || wave.dwBufferLength == 0 || wave.dwBufferLength % 2 != 0 ||
        wave.dwBufferLength > kMaxBufferBytes)
        return kWaveInvalidParam;
    Locked hold(&device->lock);
    if (!(header->header.dwFlags & WHDR_INQUEUE))
        header->header.dwFlags |= WHDR_PREPARED;
    return kWaveOk;
}

unsigned loopback_add(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size))
        return error;
    Locked hold(&device->lock);
    WAVEHDR &wave = header->header;
    if (!(wave.dwFlags & WHDR_PREPARED))
        return kWaveUnprepared;
    if (wave.dwFlags & WHDR_INQUEUE)
        return kWaveStillQueued;
    if (device->failed || device->count == kMaxQueued)
        return kWaveError;
    wave.dwFlags = (wave.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    wave.dwBytesRecorded = 0;
    device->queue[(device->first + device->count) % kMaxQueued] = header;
    ++device->count;
    return kWaveOk;
}

unsigned loopback_unprepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size))
        return error;
    Locked hold(&device->lock);
    if (header->header.dwFlags & WHDR_INQUEUE)
        return kWaveStillQueued;
    header->header.dwFlags &= ~WHDR_PREPARED;
    return kWaveOk;
}

unsigned loopback_start(WaveHandle device) {
    if (!device)
        return kWaveInvalidHandle;
    {
        Locked hold(&device->lock);
        if (device->failed)
            return kWaveError;
        device->started = true;
    }
    SetEvent(device->wake);
    return kWaveOk;
}

// What arrives while stopped is dropped; a buffer partly filled stays queued.
unsigned loopback_stop(WaveHandle device) {
    if (!device)
        return kWaveInvalidHandle;
    {
        Locked hold(&device->lock);
        device->started = false;
    }
    SetEvent(device->wake);
    return kWaveOk;
}

// Returns every queued buffer, in queue order, through the callback: the one being filled
// with what it holds, the others empty.
unsigned loopback_reset(WaveHandle device) {
    if (!device)
        return kWaveInvalidHandle;
    {
        Locked hold(&device->lock);
        device->started = false;
        while (device->count > 0)
            device->deliver_front(device->filled);
    }
    SetEvent(device->wake);
    return kWaveOk;
}

// Ends the device thread, which closes the stream. Buffers still queued are dropped without
// being touched again; no delivery follows. A thread that does not end in time (a hung
// service) keeps the device's memory and frees it when it ends.
unsigned loopback_close(WaveHandle device) {
    if (!device)
        return kWaveInvalidHandle;
    {
        Locked hold(&device->lock);
        device->count = 0;
        device->quit = true;
    }
    SetEvent(device->wake);
    WaitForSingleObject(device->thread, kCloseTimeoutMs);
    device->callback(device, kWaveInClose, device->instance, 0, 0);
    let_go(device);
    return kWaveOk;
}

} // namespace

bool loopback_offered() {
    Probe *probe = new (std::nothrow) Probe;
    if (!probe || !probe->done) {
        delete probe;
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, Probe::thread_main, probe, 0, nullptr);
    if (!thread) {
        delete probe;
        return false;
    }
    CloseHandle(thread);
    const bool offered =
        WaitForSingleObject(probe->done, kProbeTimeoutMs) == WAIT_OBJECT_0 && probe->offered;
    let_go(probe);
    return offered;
}

const WaveInput &loopback_wave_input() {
    static const WaveInput loopback = {loopback_open,      loopback_prepare, loopback_add,
                                       loopback_unprepare, loopback_start,   loopback_stop,
                                       loopback_reset,     loopback_close};
    return loopback;
}
