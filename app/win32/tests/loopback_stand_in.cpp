// A stand-in for the system's audio endpoint service, for the loopback device's tests under
// Wine, whose own service refuses loopback. It is registered inside the program's process as
// the class of the device enumerator, so the program's own CoCreateInstance finds it there;
// nothing outside the process (Wine's winmm in other programs) sees it.
//
// Two outputs play tones: A, the default at first, 440 Hz at 48 kHz float stereo (described
// by a WAVEFORMATEXTENSIBLE, as Windows does), and B, 880 Hz at 44.1 kHz 16-bit stereo. The
// test driver moves the service along with the named events NAME.gap (A stops sending
// packets, as when nothing plays), NAME.switch (B becomes the default output) and
// NAME.invalidate (B goes away: every call on it fails with AUDCLNT_E_DEVICE_INVALIDATED).
#include <windows.h>

#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

enum Phase { kPlaying, kGap, kSwitched, kInvalidated };
HANDLE g_events[3] = {}; // set by the driver: gap, switch, invalidate

Phase phase() {
    for (int p = 3; p > 0; --p)
        if (g_events[p - 1] && WaitForSingleObject(g_events[p - 1], 0) == WAIT_OBJECT_0)
            return static_cast<Phase>(p);
    return kPlaying;
}

// {00000003-0000-0010-8000-00aa00389b71}: 32-bit float samples.
const GUID kSubtypeFloat = {3, 0, 0x10, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

template <typename T> T *task_copy(const T *from, std::size_t bytes) {
    void *to = CoTaskMemAlloc(bytes);
    return static_cast<T *>(to ? std::memcpy(to, from, bytes) : nullptr);
}

// One output with its one stream. The stand-in's objects live as long as the process, so
// their reference counts are left out.
class Output : public IMMDevice, public IAudioClient, public IAudioCaptureClient {
  public:
    Output(const wchar_t *id, const WAVEFORMATEXTENSIBLE &format, double frequency, bool second)
        : id_(id), format_(format), frequency_(frequency), second_(second) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMMDevice)
            *out = static_cast<IMMDevice *>(this);
        else if (iid == IID_IAudioClient)
            *out = static_cast<IAudioClient *>(this);
        else if (iid == IID_IAudioCaptureClient)
            *out = static_cast<IAudioCaptureClient *>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IMMDevice
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT *, void **out) override {
        if (gone())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        initialized_ = running_ = false;
        return iid == IID_IAudioClient ? QueryInterface(iid, out) : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore **) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR *id) override {
        *id = task_copy(id_, (std::wcslen(id_) + 1) * sizeof(wchar_t));
        return *id ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD *state) override {
        *state = gone() ? DEVICE_STATE_UNPLUGGED : DEVICE_STATE_ACTIVE;
        return S_OK;
    }

    // IAudioClient: only a shared loopback stream of the mix format is served.
    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME,
                                         REFERENCE_TIME, const WAVEFORMATEX *format,
                                         LPCGUID) override {
        if (mode != AUDCLNT_SHAREMODE_SHARED || !(flags & AUDCLNT_STREAMFLAGS_LOOPBACK))
            return E_INVALIDARG;
        if (std::memcmp(format, &format_, sizeof(WAVEFORMATEX) + format_.Format.cbSize) != 0)
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        initialized_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32 *frames) override {
        *frames = format_.Format.nSamplesPerSec / 5;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME *latency) override {
        *latency = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32 *frames) override {
        *frames = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX *,
                                                WAVEFORMATEX **) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX **format) override {
        *format = task_copy(&format_.Format, sizeof(WAVEFORMATEX) + format_.Format.cbSize);
        return *format ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME *period,
                                              REFERENCE_TIME *minimum) override {
        *period = 100000;
        if (minimum)
            *minimum = 30000;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override {
        if (gone())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        running_ = true;
        started_ = GetTickCount();
        sent_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        running_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override {
        return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void **out) override {
        if (!initialized_)
            return AUDCLNT_E_NOT_INITIALIZED;
        return iid == IID_IAudioCaptureClient ? QueryInterface(iid, out) : E_NOINTERFACE;
    }

    // IAudioCaptureClient: packets of 10 ms as the time for them comes, none while quiet.
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE **data, UINT32 *frames, DWORD *flags, UINT64 *,
                                        UINT64 *) override {
        const HRESULT result = GetNextPacketSize(frames);
        if (result != S_OK || *frames == 0)
            return result == S_OK ? AUDCLNT_S_BUFFER_EMPTY : result;
        const unsigned rate = format_.Format.nSamplesPerSec;
        const double scale = format_.Format.wBitsPerSample == 16 ? 16383.0 : 0.5;
        for (UINT32 n = 0; n < *frames; ++n) {
            const double value = scale * std::sin(2 * M_PI * frequency_ * (sent_ + n) / rate);
            for (int channel = 0; channel < 2; ++channel) {
                if (format_.Format.wBitsPerSample == 16)
                    packet_.pcm[2 * n + channel] = static_cast<short>(std::lround(value));
                else
                    packet_.real[2 * n + channel] = static_cast<float>(value);
            }
        }
        *data = reinterpret_cast<BYTE *>(&packet_);
        *flags = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override {
        sent_ += frames;
        return gone() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32 *frames) override {
        *frames = 0;
        if (gone())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (!running_)
            return S_OK;
        const UINT32 packet = format_.Format.nSamplesPerSec / 100;
        const unsigned long long due =
            (GetTickCount() - started_) * 1ull * format_.Format.nSamplesPerSec / 1000;
        if (!second_ && phase() != kPlaying)
            sent_ = due; // quiet: the time passes without packets
        else if (due >= sent_ + packet)
            *frames = packet;
        return S_OK;
    }

  private:
    bool gone() const { return second_ && phase() == kInvalidated; }

    const wchar_t *id_;
    WAVEFORMATEXTENSIBLE format_;
    double frequency_;
    bool second_; // output B
    bool initialized_ = false, running_ = false;
    DWORD started_ = 0;
    unsigned long long sent_ = 0; // frames handed out since the start
    union {
        short pcm[2 * 480];
        float real[2 * 480];
    } packet_ = {};
};

WAVEFORMATEXTENSIBLE output_format(unsigned rate, unsigned bits, bool extensible) {
    WAVEFORMATEXTENSIBLE format = {};
    format.Format = {static_cast<WORD>(extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM),
                     2,
                     rate,
                     rate * 2 * bits / 8,
                     static_cast<WORD>(2 * bits / 8),
                     static_cast<WORD>(bits),
                     0};
    if (extensible) {
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = static_cast<WORD>(bits);
        format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        format.SubFormat = kSubtypeFloat;
    }
    return format;
}

Output g_a(L"{stand-in}.A", output_format(48000, 32, true), 440.0, false);
Output g_b(L"{stand-in}.B", output_format(44100, 16, false), 880.0, true);

class Enumerator : public IMMDeviceEnumerator, public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMMDeviceEnumerator)
            *out = static_cast<IMMDeviceEnumerator *>(this);
        else if (iid == IID_IClassFactory)
            *out = static_cast<IClassFactory *>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD,
                                                 IMMDeviceCollection **) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice **device) override {
        *device = flow != eRender ? nullptr : phase() >= kSwitched ? &g_b : &g_a;
        return *device ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient *) override {
        return E_NOTIMPL;
    }

    // IClassFactory: every instance is this one.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Enumerator g_enumerator;

// Registers the class in the multithreaded apartment, where the loopback device makes its
// calls, and keeps that apartment alive for the process's life.
struct Registration {
    HANDLE done;
    bool ok;
};

DWORD WINAPI register_class(void *self) {
    auto *registration = static_cast<Registration *>(self);
    DWORD cookie = 0;
    registration->ok = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) &&
                       SUCCEEDED(CoRegisterClassObject(
                           CLSID_MMDeviceEnumerator, static_cast<IClassFactory *>(&g_enumerator),
                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    const bool ok = registration->ok;
    SetEvent(registration->done);
    return ok ? SleepEx(INFINITE, FALSE) : 1;
}

} // namespace

// Serves the stand-in to this process, moved along by the events `name`.gap, .switch and
// .invalidate; true when it is registered.
bool register_loopback_stand_in(const char *name) {
    const char *suffixes[] = {".gap", ".switch", ".invalidate"};
    for (int p = 0; p < 3; ++p)
        g_events[p] = CreateEventA(nullptr, TRUE, FALSE, (std::string(name) + suffixes[p]).c_str());
    static Registration registration = {CreateEventA(nullptr, TRUE, FALSE, nullptr), false};
    HANDLE thread = CreateThread(nullptr, 0, register_class, &registration, 0, nullptr);
    return thread && WaitForSingleObject(registration.done, 10000) == WAIT_OBJECT_0 &&
           registration.ok;
}
