// The Linux wave input: a PulseAudio record stream named "Sonavex" on the chosen source (the
// default input unless the "Record from" menu chose another), driven by the library's own
// mainloop thread. The server sends small packets; the stream's read callback
// copies each into the oldest queued buffer and hands a buffer over only once it is full,
// so nothing wakes per packet but the mainloop thread itself.
//
// Locking: everything the device keeps is guarded by the mainloop lock. The wave callback
// is called with that lock held (from the mainloop thread for deliveries and failures, from
// the caller's thread for reset), so the lock order is: mainloop lock, then whatever the
// callback takes. The callback must therefore never call back into the device; the ring's
// only posts a block message.
//
// A new choice of source moves the open stream at the server (move_recording): the stream,
// its buffers and its deliveries carry on, so nothing is closed or reopened.

#include "capture/recording_source.h"
#include "capture/wave_header_linux.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

// Header flags.
constexpr std::uint32_t kDone = 0x1;
constexpr std::uint32_t kPrepared = 0x2;
constexpr std::uint32_t kQueued = 0x10;

constexpr std::uint32_t kFragmentBytes = 2048; // one block of 1024 samples
constexpr std::uint32_t kMaxBufferBytes = 4 * kFragmentBytes;
constexpr int kMaxQueued = 32;

// How long open waits for the server to accept the connection and then the stream. A
// missing server or a refused stream answers at once; this only bounds a server that hangs.
constexpr pa_usec_t kOpenTimeout = 2 * PA_USEC_PER_SEC;

} // namespace

struct WaveDevice {
    pa_threaded_mainloop *mainloop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    WaveCallback callback = nullptr;
    std::uintptr_t instance = 0;

    // Everything below is guarded by the mainloop lock.
    WaveHeader *queue[kMaxQueued] = {}; // buffers waiting to be filled, oldest first
    int first = 0;
    int count = 0;
    std::uint32_t filled = 0; // bytes already in the oldest queued buffer
    bool started = false;
    bool failed = false;        // the connection or the stream broke: no more buffers are taken
    bool timed_out = false;     // open (or a move) waited too long for the server
    std::string default_source; // the server's default input, as a move last asked it
    bool operation_succeeded = false; // the server's answer to the last move

    ~WaveDevice();

    // Recording: on the mainloop thread (reset: the window thread), the lock held.
    void deliver_front(std::uint32_t bytes);
    void record(const char *data, std::size_t bytes);
    void fail();

    // The library's callbacks, on the mainloop thread with its lock held; `self` is the
    // device.
    static void on_context_state(pa_context *context, void *self);
    static void on_stream_state(pa_stream *stream, void *self);
    static void on_timeout(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self);
    static void on_operation_done(pa_context *, int success, void *self);
    static void on_server_info(pa_context *, const pa_server_info *info, void *self);
    static void on_readable(pa_stream *stream, std::size_t, void *self);

    // Opening and moving the stream, on the window thread.
    bool connect();
    bool wait_for_context();
    void drop_stream();
    bool open_stream(const char *source);
    bool wait_for_stream();
    bool wait_for_operation(pa_operation *operation);
    bool move_to(const std::string &source);
};

// Takes the oldest queued buffer off the queue with `bytes` recorded in it and hands
// it to the window.
void WaveDevice::deliver_front(std::uint32_t bytes) {
    WaveHeader *header = queue[first];
    first = (first + 1) % kMaxQueued;
    --count;
    filled = 0;
    header->bytes_recorded = bytes;
    header->flags = (header->flags & ~kQueued) | kDone;
    callback(this, kWaveInData, instance, reinterpret_cast<std::uintptr_t>(header), 0);
}

// Copies what arrived into the queued buffers, oldest first, handing each over once
// full; `data` null is a gap in the stream, recorded as silence. With no buffer queued
// the rest is dropped, as a wave input drops what it has nowhere to put: after a stall
// the window gets current sound, not a backlog the server kept.
void WaveDevice::record(const char *data, std::size_t bytes) {
    while (bytes > 0 && count > 0) {
        WaveHeader *header = queue[first];
        const std::size_t take = std::min<std::size_t>(bytes, header->length - filled);
        if (data) {
            std::memcpy(header->data + filled, data, take);
            data += take;
        } else {
            std::memset(header->data + filled, 0, take);
        }
        filled += static_cast<std::uint32_t>(take);
        bytes -= take;
        if (filled == header->length) {
            deliver_front(header->length);
        }
    }
}

// The server went away or the source vanished. The buffer being filled comes back as
// delivered (silent after what it already holds), the rest wait for the reset, and no
// buffer is taken any more, so the ring's next re-queue fails and capture stops.
void WaveDevice::fail() {
    if (failed) {
        return;
    }
    failed = true;
    if (count > 0) {
        WaveHeader *header = queue[first];
        std::memset(header->data + filled, 0, header->length - filled);
        deliver_front(header->length);
    }
}

// Called on the mainloop thread, with its lock held.
void WaveDevice::on_context_state(pa_context *context, void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        device->fail();
    }
    pa_threaded_mainloop_signal(device->mainloop, 0);
}

void WaveDevice::on_stream_state(pa_stream *stream, void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        device->fail();
    }
    pa_threaded_mainloop_signal(device->mainloop, 0);
}

void WaveDevice::on_timeout(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                            void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    device->timed_out = true;
    pa_threaded_mainloop_signal(device->mainloop, 0);
}

void WaveDevice::on_operation_done(pa_context *, int success, void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    device->operation_succeeded = success != 0;
    pa_threaded_mainloop_signal(device->mainloop, 0);
}

void WaveDevice::on_server_info(pa_context *, const pa_server_info *info, void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    device->default_source.clear();
    if (info && info->default_source_name) {
        device->default_source = info->default_source_name;
    }
    pa_threaded_mainloop_signal(device->mainloop, 0);
}

void WaveDevice::on_readable(pa_stream *stream, std::size_t, void *self) {
    auto *device = static_cast<WaveDevice *>(self);
    while (!device->failed) {
        const void *data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            device->fail();
            return;
        }
        if (bytes == 0) {
            return; // nothing left (a null pointer with no bytes must not be dropped)
        }
        if (device->started) {
            device->record(static_cast<const char *>(data), bytes);
        }
        pa_stream_drop(stream);
    }
}

// Stops the mainloop thread (never to be called on it) and frees everything. After
// this no callback of the library runs any more.
WaveDevice::~WaveDevice() {
    if (mainloop) {
        pa_threaded_mainloop_stop(mainloop);
    }
    if (stream) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    if (mainloop) {
        pa_threaded_mainloop_free(mainloop);
    }
}

// Connects to the default server and opens the record stream on the default source,
// waiting (boundedly) for each to be ready. Returns false if either fails.
bool WaveDevice::connect() {
    mainloop = pa_threaded_mainloop_new();
    if (!mainloop) {
        return false;
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "Sonavex");
    if (!context) {
        return false;
    }
    pa_context_set_state_callback(context, on_context_state, this);
    // Never starts a server of its own: no server means no device.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(mainloop) < 0) {
        return false;
    }
    pa_threaded_mainloop_lock(mainloop);
    pa_time_event *timer =
        pa_context_rttime_new(context, pa_rtclock_now() + kOpenTimeout, on_timeout, this);
    const std::string &chosen = chosen_source_name();
    bool ready = timer && wait_for_context() &&
                 open_stream(chosen.empty() ? nullptr : chosen.c_str()) && wait_for_stream();
    if (!ready && !chosen.empty() && !timed_out &&
        pa_context_get_state(context) == PA_CONTEXT_READY &&
        pa_context_errno(context) == PA_ERR_NOENTITY) {
        // The source chosen while paused has gone since: record from the default
        // input, as the server does with a stream whose source goes away.
        drop_stream();
        failed = false;
        set_chosen_source_name(std::string());
        ready = open_stream(nullptr) && wait_for_stream();
    }
    if (timer) {
        pa_threaded_mainloop_get_api(mainloop)->time_free(timer);
    }
    ready = ready && !failed;
    pa_threaded_mainloop_unlock(mainloop);
    return ready;
}

// These run with the mainloop lock held.
bool WaveDevice::wait_for_context() {
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            return true;
        }
        if (!PA_CONTEXT_IS_GOOD(state) || timed_out) {
            return false;
        }
        pa_threaded_mainloop_wait(mainloop);
    }
}

// Only while no buffer is queued: the stream's callbacks stop with it.
void WaveDevice::drop_stream() {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

// `source` null: the server's default input.
bool WaveDevice::open_stream(const char *source) {
    const pa_sample_spec format = {PA_SAMPLE_S16LE, 22050, 1};
    stream = pa_stream_new(context, "Sonavex", &format, nullptr);
    if (!stream) {
        return false;
    }
    pa_stream_set_state_callback(stream, on_stream_state, this);
    pa_stream_set_read_callback(stream, on_readable, this);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kFragmentBytes;
    return pa_stream_connect_record(stream, source, &attributes, PA_STREAM_ADJUST_LATENCY) == 0;
}

bool WaveDevice::wait_for_stream() {
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) {
            return true;
        }
        if (!PA_STREAM_IS_GOOD(state) || timed_out) {
            return false;
        }
        pa_threaded_mainloop_wait(mainloop);
    }
}

// Waits (the lock held) for an operation of the context to complete; false when it
// failed, timed out or the connection broke. Takes over the reference.
bool WaveDevice::wait_for_operation(pa_operation *operation) {
    if (!operation) {
        return false;
    }
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && !timed_out && !failed) {
        pa_threaded_mainloop_wait(mainloop);
    }
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return done;
}

// Asks the server to move the stream to `source` (empty: its default input now, which
// the stream then follows), and waits at most kOpenTimeout for the answer.
bool WaveDevice::move_to(const std::string &source) {
    pa_threaded_mainloop_lock(mainloop);
    bool moved = false;
    timed_out = false;
    pa_time_event *timer =
        failed ? nullptr
               : pa_context_rttime_new(context, pa_rtclock_now() + kOpenTimeout, on_timeout, this);
    if (timer) {
        std::string target = source;
        if (target.empty() &&
            wait_for_operation(pa_context_get_server_info(context, on_server_info, this))) {
            target = default_source;
        }
        operation_succeeded = false;
        moved =
            !target.empty() &&
            wait_for_operation(pa_context_move_source_output_by_name(
                context, pa_stream_get_index(stream), target.c_str(), on_operation_done, this)) &&
            operation_succeeded;
        pa_threaded_mainloop_get_api(mainloop)->time_free(timer);
    }
    pa_threaded_mainloop_unlock(mainloop);
    return moved;
}

namespace {

// The device open now, for the source choice; the window thread opens and closes it.
WaveDevice *g_open_device = nullptr;

// Holds the device's mainloop lock for a scope.
class Locked {
  public:
    explicit Locked(WaveHandle device) : device_(device) {
        pa_threaded_mainloop_lock(device_->mainloop);
    }
    ~Locked() { pa_threaded_mainloop_unlock(device_->mainloop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

  private:
    WaveHandle device_;
};

} // namespace

static unsigned pulse_open(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                           std::uintptr_t instance) {
    if (!device || !format || !callback) {
        return kWaveInvalidParam;
    }
    if (format->format_tag != 1 || format->channels != 1 || format->samples_per_sec != 22050 ||
        format->bits_per_sample != 16 || format->block_align != 2) {
        return kWaveBadFormat;
    }
    WaveDevice *opened = new (std::nothrow) WaveDevice;
    if (!opened) {
        return kWaveError;
    }
    opened->callback = callback;
    opened->instance = instance;
    if (!opened->connect()) {
        delete opened;
        return kWaveBadDevice;
    }
    *device = opened;
    g_open_device = opened;
    callback(opened, kWaveInOpen, instance, 0, 0);
    return kWaveOk;
}

// The checks every header operation starts with: a device, and a header of the right type.
static unsigned header_call_error(WaveHandle device, const WaveHeader *header,
                                  unsigned header_size) {
    if (!device) {
        return kWaveInvalidHandle;
    }
    if (!header || header_size < sizeof(WaveHeader)) {
        return kWaveInvalidParam;
    }
    return kWaveOk;
}

static unsigned pulse_prepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size)) {
        return error;
    }
    if (!header->data || header->length == 0 || header->length % 2 != 0 ||
        header->length > kMaxBufferBytes) {
        return kWaveInvalidParam;
    }
    Locked hold(device);
    if (!(header->flags & kQueued)) {
        header->flags |= kPrepared;
    }
    return kWaveOk;
}

static unsigned pulse_add(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size)) {
        return error;
    }
    Locked hold(device);
    if (!(header->flags & kPrepared)) {
        return kWaveUnprepared;
    }
    if (header->flags & kQueued) {
        return kWaveStillQueued;
    }
    if (device->failed || device->count == kMaxQueued) {
        return kWaveError;
    }
    header->flags = (header->flags & ~kDone) | kQueued;
    header->bytes_recorded = 0;
    device->queue[(device->first + device->count) % kMaxQueued] = header;
    ++device->count;
    return kWaveOk;
}

static unsigned pulse_unprepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (const unsigned error = header_call_error(device, header, header_size)) {
        return error;
    }
    Locked hold(device);
    if (header->flags & kQueued) {
        return kWaveStillQueued;
    }
    header->flags &= ~kPrepared;
    return kWaveOk;
}

static unsigned pulse_start(WaveHandle device) {
    if (!device) {
        return kWaveInvalidHandle;
    }
    Locked hold(device);
    if (device->failed) {
        return kWaveError;
    }
    device->started = true;
    return kWaveOk;
}

// What arrives while stopped is dropped; a buffer partly filled stays queued.
static unsigned pulse_stop(WaveHandle device) {
    if (!device) {
        return kWaveInvalidHandle;
    }
    Locked hold(device);
    device->started = false;
    return kWaveOk;
}

// Returns every queued buffer, in queue order, through the callback: the one being filled
// with what it holds, the others empty.
static unsigned pulse_reset(WaveHandle device) {
    if (!device) {
        return kWaveInvalidHandle;
    }
    Locked hold(device);
    device->started = false;
    while (device->count > 0) {
        device->deliver_front(device->filled);
    }
    return kWaveOk;
}

// Stops the mainloop thread and releases the stream and the connection. Buffers still
// queued are dropped without being touched again; no delivery follows.
static unsigned pulse_close(WaveHandle device) {
    if (!device) {
        return kWaveInvalidHandle;
    }
    {
        Locked hold(device);
        device->count = 0;
    }
    if (g_open_device == device) {
        g_open_device = nullptr;
    }
    pa_threaded_mainloop_stop(device->mainloop);
    device->callback(device, kWaveInClose, device->instance, 0, 0);
    delete device;
    return kWaveOk;
}

const WaveInput &platform_wave_input() {
    static const WaveInput pulse = {pulse_open,  pulse_prepare, pulse_add,   pulse_unprepare,
                                    pulse_start, pulse_stop,    pulse_reset, pulse_close};
    return pulse;
}

bool recorded_source_name(std::string *name) {
    if (!g_open_device) {
        return false;
    }
    Locked hold(g_open_device);
    const char *source =
        g_open_device->failed ? nullptr : pa_stream_get_device_name(g_open_device->stream);
    if (!source) {
        return false;
    }
    *name = source;
    return true;
}

bool move_recording(const std::string &name) {
    return !g_open_device || g_open_device->move_to(name);
}
