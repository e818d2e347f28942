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

// The latest step the driver has started.
Phase phase() {
    int p = 3;
    while (p > 0 && WaitForSingleObject(g_events[p - 1], 0) != WAIT_OBJECT_0)
        --p;
    return static_cast<Phase>(p);
}

// {00000003-0000-0010-8000-00aa00389b71}: 32-bit float samples.
const GUID kSubtypeFloat = {3, 0, 0x10, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

template <typename T> T *task_copy(const T *from, std::size_t bytes) {
    void *to = CoTaskMemAlloc(bytes);
    return static_cast<T *>(to ? std::memcpy(to, from, bytes) : nullptr);
}

// One output with its one stream. The stand-in's objects live as long as the process, so
// their reference counts are left out; what the loopback device does not call is not served.
class Output : public IMMDevice, public IAudioClient, public IAudioCaptureClient {
  public:
    Output(const wchar_t *id, const WAVEFORMATEXTENSIBLE &format, double frequency, bool second)
        : id_(id), format_(format), frequency_(frequency), second_(second) {}

    STDMETHODIMP QueryInterface(REFIID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMMDevice)
            *out = static_cast<IMMDevice *>(this);
        else if (iid == IID_IAudioClient)
            *out = static_cast<IAudioClient *>(this);
        else if (iid == IID_IAudioCaptureClient)
            *out = static_cast<IAudioCaptureClient *>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IMMDevice
    STDMETHODIMP Activate(REFIID iid, DWORD, PROPVARIANT *, void **out) override {
        initialized_ = running_ = false;
        return gone() ? AUDCLNT_E_DEVICE_INVALIDATED : QueryInterface(iid, out);
    }
    STDMETHODIMP OpenPropertyStore(DWORD, IPropertyStore **) override { return E_NOTIMPL; }
    STDMETHODIMP GetId(LPWSTR *id) override {
        *id = task_copy(id_, (std::wcslen(id_) + 1) * sizeof(wchar_t));
        return *id ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetState(DWORD *) override { return E_NOTIMPL; }

    // IAudioClient: only a shared loopback stream of the mix format is served.
    STDMETHODIMP Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME, REFERENCE_TIME,
                            const WAVEFORMATEX *format, LPCGUID) override {
        if (mode != AUDCLNT_SHAREMODE_SHARED || !(flags & AUDCLNT_STREAMFLAGS_LOOPBACK) ||
            std::memcmp(format, &format_, sizeof(WAVEFORMATEX) + format_.Format.cbSize) != 0)
            return E_INVALIDARG;
        initialized_ = true;
        return S_OK;
    }
    STDMETHODIMP GetBufferSize(UINT32 *) override { return E_NOTIMPL; }
    STDMETHODIMP GetStreamLatency(REFERENCE_TIME *) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentPadding(UINT32 *) override { return E_NOTIMPL; }
    STDMETHODIMP IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX *,
                                   WAVEFORMATEX **) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMixFormat(WAVEFORMATEX **format) override {
        *format = task_copy(&format_.Format, sizeof(WAVEFORMATEX) + format_.Format.cbSize);
        return *format ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetDevicePeriod(REFERENCE_TIME *, REFERENCE_TIME *) override { return E_NOTIMPL; }
    STDMETHODIMP Start() override {
        running_ = true;
        started_ = GetTickCount();
        sent_ = 0;
        return gone() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
    }
    STDMETHODIMP Stop() override {
        running_ = false;
        return S_OK;
    }
    STDMETHODIMP Reset() override { return E_NOTIMPL; }
    STDMETHODIMP SetEventHandle(HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetService(REFIID iid, void **out) override {
        return !initialized_ ? AUDCLNT_E_NOT_INITIALIZED : QueryInterface(iid, out);
    }

    // IAudioCaptureClient: packets of 10 ms as the time for them comes, none while quiet.
    STDMETHODIMP GetBuffer(BYTE **data, UINT32 *frames, DWORD *flags, UINT64 *, UINT64 *) override {
        const HRESULT result = GetNextPacketSize(frames);
        if (result != S_OK || *frames == 0)
            return result == S_OK ? AUDCLNT_S_BUFFER_EMPTY : result;
        for (UINT32 n = 0; n < 2 * *frames; ++n) { // both channels alike, in both formats
            const double t = double(sent_ + n / 2) / format_.Format.nSamplesPerSec;
            real_[n] = static_cast<float>(0.5 * std::sin(2 * M_PI * frequency_ * t));
            pcm_[n] = static_cast<short>(std::lround(real_[n] * 32767));
        }
        const bool pcm = format_.Format.wBitsPerSample == 16;
        *data = pcm ? reinterpret_cast<BYTE *>(pcm_) : reinterpret_cast<BYTE *>(real_);
        *flags = 0;
        return S_OK;
    }
    STDMETHODIMP ReleaseBuffer(UINT32 frames) override {
        sent_ += frames;
        return gone() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
    }
    STDMETHODIMP GetNextPacketSize(UINT32 *frames) override {
        const UINT32 rate = format_.Format.nSamplesPerSec, packet = rate / 100;
        const unsigned long long due = (GetTickCount() - started_) * 1ull * rate / 1000;
        if (!second_ && phase() != kPlaying)
            sent_ = due; // quiet: the time passes without packets
        *frames = running_ && due >= sent_ + packet ? packet : 0;
        return gone() ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
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
    float real_[2 * 480] = {};    // the packet, as floats and as 16-bit samples
    short pcm_[2 * 480] = {};
};

// A's format as Windows describes a float mix; B's the plain way.
const WAVEFORMATEXTENSIBLE kFloat48k = {{WAVE_FORMAT_EXTENSIBLE, 2, 48000, 384000, 8, 32, 22},
                                        {32},
                                        SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT,
                                        kSubtypeFloat};
const WAVEFORMATEXTENSIBLE kPcm44k = {{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, {0}, 0, {}};

Output g_a(L"{stand-in}.A", kFloat48k, 440.0, false);
Output g_b(L"{stand-in}.B", kPcm44k, 880.0, true);

class Enumerator : public IMMDeviceEnumerator, public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMMDeviceEnumerator)
            *out = static_cast<IMMDeviceEnumerator *>(this);
        else if (iid == IID_IClassFactory)
            *out = static_cast<IClassFactory *>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection **) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice **device) override {
        *device = flow != eRender ? nullptr : phase() >= kSwitched ? &g_b : &g_a;
        return *device ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    STDMETHODIMP GetDevice(LPCWSTR, IMMDevice **) override { return E_NOTIMPL; }
    using Client = IMMNotificationClient;
    STDMETHODIMP RegisterEndpointNotificationCallback(Client *) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterEndpointNotificationCallback(Client *) override { return E_NOTIMPL; }

    // IClassFactory: every instance is this one.
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Enumerator g_enumerator;

// Registers the class in the multithreaded apartment, where the loopback device makes its
// calls, and keeps that apartment alive for the process's life.
bool g_registered = false; // written before the event `done` is set, read after

DWORD WINAPI register_class(void *done) {
    DWORD cookie = 0;
    g_registered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) &&
                   SUCCEEDED(CoRegisterClassObject(
                       CLSID_MMDeviceEnumerator, static_cast<IClassFactory *>(&g_enumerator),
                       CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    const bool registered = g_registered;
    SetEvent(done);
    return registered ? SleepEx(INFINITE, FALSE) : 1;
}

} // namespace

// Serves the stand-in to this process, moved along by the events `name`.gap, .switch and
// .invalidate; true when it is registered.
bool register_loopback_stand_in(const char *name) {
    const char *suffixes[] = {".gap", ".switch", ".invalidate"};
    for (int p = 0; p < 3; ++p)
        g_events[p] = CreateEventA(nullptr, TRUE, FALSE, (std::string(name) + suffixes[p]).c_str());
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return CreateThread(nullptr, 0, register_class, done, 0, nullptr) &&
           WaitForSingleObject(done, 10000) == WAIT_OBJECT_0 && g_registered;
}
