// The Linux wave input: a PulseAudio record stream on the default source, read through the
// simple API by a capture thread of its own, one queued buffer at a time.

#include "capture/wave_input.h"

#include <pthread.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

// Laid out like the platform wave header of the Windows build, so the ring treats both
// alike; only the fields the device uses carry meaning here.
struct WaveHeader {
    char *data;
    std::uint32_t length;
    std::uint32_t bytes_recorded;
    std::uintptr_t user;
    std::uint32_t flags;
    std::uint32_t loops;
    WaveHeader *next;
    std::uintptr_t reserved;
};

std::size_t wave_header_size() { return sizeof(WaveHeader); }

void wave_header_init(WaveHeader *header, char *data, std::uint32_t length, std::uintptr_t user) {
    header->data = data;
    header->length = length;
    header->user = user;
}

char *wave_header_data(const WaveHeader *header) { return header->data; }
std::uintptr_t wave_header_user(const WaveHeader *header) { return header->user; }

namespace {

// Results, with the values the Windows wave input uses for the same conditions.
constexpr unsigned kOk = 0;
constexpr unsigned kError = 1;
constexpr unsigned kBadDevice = 2;
constexpr unsigned kInvalidHandle = 5;
constexpr unsigned kInvalidParam = 11;
constexpr unsigned kBadFormat = 32;
constexpr unsigned kStillQueued = 33;
constexpr unsigned kUnprepared = 34;

// Header flags.
constexpr std::uint32_t kDone = 0x1;
constexpr std::uint32_t kPrepared = 0x2;
constexpr std::uint32_t kQueued = 0x10;

constexpr std::size_t kFragmentBytes = 2048; // one block of 1024 samples
constexpr std::size_t kMaxBufferBytes = 4 * kFragmentBytes;
constexpr int kMaxQueued = 32;

} // namespace

struct WaveDevice {
    pa_simple *stream = nullptr;
    WaveCallback callback = nullptr;
    std::uintptr_t instance = 0;
    std::thread thread;

    // Everything below is guarded by `lock`; the callback is called with it held, so the
    // window sees deliveries and reset returns in exactly the device's order.
    std::mutex lock;
    std::condition_variable changed;
    WaveHeader *queue[kMaxQueued] = {}; // buffers waiting to be filled, oldest first
    int first = 0;
    int count = 0;
    bool started = false;
    bool failed = false;  // the stream broke: no more buffers are taken
    bool closing = false; // the thread is to end
    unsigned resets = 0;  // changes when a reset takes the queue back
    // Samples are read here and copied into the header only if it is still queued once
    // the read has finished, so a buffer that reset returned is never written again.
    char bounce[kMaxBufferBytes] = {};

    enum class Content { Recorded, Silent, Untouched };

    void deliver_front(Content content) {
        WaveHeader *header = queue[first];
        first = (first + 1) % kMaxQueued;
        --count;
        header->bytes_recorded = header->length;
        if (content == Content::Recorded) {
            std::memcpy(header->data, bounce, header->length);
        } else if (content == Content::Silent) {
            std::memset(header->data, 0, header->length);
        } else {
            header->bytes_recorded = 0;
        }
        header->flags = (header->flags & ~kQueued) | kDone;
        callback(this, kWaveInData, instance, reinterpret_cast<std::uintptr_t>(header), 0);
    }

    void run() {
        pthread_setname_np(pthread_self(), "sonavex-capture");
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            changed.wait(hold, [this] { return closing || (started && !failed); });
            if (closing) {
                return;
            }
            // With no buffer queued the samples are read all the same and dropped, as a
            // wave input drops what it has nowhere to put: after a stall the window gets
            // current sound, not a backlog the server kept.
            WaveHeader *header = count > 0 ? queue[first] : nullptr;
            const unsigned resets_before = resets;
            const std::size_t length = header ? header->length : kFragmentBytes;
            hold.unlock();
            int error = 0;
            const bool read = pa_simple_read(stream, bounce, length, &error) == 0;
            hold.lock();
            const bool still_queued =
                header && resets == resets_before && count > 0 && queue[first] == header;
            if (!read) {
                // The server went away or the source vanished. The buffer being filled comes
                // back (silent), the rest wait for the reset, and no buffer is taken any more,
                // so the ring's next re-queue fails and capture stops.
                failed = true;
            }
            if (still_queued) {
                deliver_front(read ? Content::Recorded : Content::Silent);
            }
        }
    }
};

static unsigned pulse_open(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                           std::uintptr_t instance) {
    if (!device || !format || !callback) {
        return kInvalidParam;
    }
    if (format->format_tag != 1 || format->channels != 1 || format->samples_per_sec != 22050 ||
        format->bits_per_sample != 16 || format->block_align != 2) {
        return kBadFormat;
    }
    const pa_sample_spec stream_format = {PA_SAMPLE_S16LE, 22050, 1};
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kFragmentBytes;
    int error = 0;
    pa_simple *stream = pa_simple_new(nullptr,          // default server
                                      "Sonavex",        // application name
                                      PA_STREAM_RECORD, // direction
                                      nullptr,          // default source
                                      "Sonavex",        // stream name
                                      &stream_format,   // S16LE mono 22050 Hz
                                      nullptr,          // default channel map
                                      &attributes,      // 2048-byte fragments
                                      &error);
    if (!stream) {
        return kBadDevice;
    }
    WaveDevice *opened = new (std::nothrow) WaveDevice;
    if (!opened) {
        pa_simple_free(stream);
        return kError;
    }
    opened->stream = stream;
    opened->callback = callback;
    opened->instance = instance;
    try {
        opened->thread = std::thread([opened] { opened->run(); });
    } catch (...) {
        pa_simple_free(stream);
        delete opened;
        return kError;
    }
    *device = opened;
    callback(opened, kWaveInOpen, instance, 0, 0);
    return kOk;
}

static unsigned pulse_prepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (!device) {
        return kInvalidHandle;
    }
    if (!header || header_size < sizeof(WaveHeader) || !header->data || header->length == 0 ||
        header->length % 2 != 0 || header->length > kMaxBufferBytes) {
        return kInvalidParam;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    if (!(header->flags & kQueued)) {
        header->flags |= kPrepared;
    }
    return kOk;
}

static unsigned pulse_add(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (!device) {
        return kInvalidHandle;
    }
    if (!header || header_size < sizeof(WaveHeader)) {
        return kInvalidParam;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    if (!(header->flags & kPrepared)) {
        return kUnprepared;
    }
    if (header->flags & kQueued) {
        return kStillQueued;
    }
    if (device->failed || device->count == kMaxQueued) {
        return kError;
    }
    header->flags = (header->flags & ~kDone) | kQueued;
    header->bytes_recorded = 0;
    device->queue[(device->first + device->count) % kMaxQueued] = header;
    ++device->count;
    device->changed.notify_all();
    return kOk;
}

static unsigned pulse_unprepare(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (!device) {
        return kInvalidHandle;
    }
    if (!header || header_size < sizeof(WaveHeader)) {
        return kInvalidParam;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    if (header->flags & kQueued) {
        return kStillQueued;
    }
    header->flags &= ~kPrepared;
    return kOk;
}

static unsigned pulse_start(WaveHandle device) {
    if (!device) {
        return kInvalidHandle;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    if (device->failed) {
        return kError;
    }
    device->started = true;
    device->changed.notify_all();
    return kOk;
}

static unsigned pulse_stop(WaveHandle device) {
    if (!device) {
        return kInvalidHandle;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    device->started = false;
    return kOk;
}

// Returns every queued buffer, in queue order, through the callback. A read in progress is
// not waited for: its buffer comes back now and the read's samples are dropped.
static unsigned pulse_reset(WaveHandle device) {
    if (!device) {
        return kInvalidHandle;
    }
    std::lock_guard<std::mutex> hold(device->lock);
    device->started = false;
    ++device->resets;
    while (device->count > 0) {
        device->deliver_front(WaveDevice::Content::Untouched);
    }
    return kOk;
}

// Ends the capture thread (after a read in progress finishes) and releases the stream.
// Buffers still queued are dropped without being touched again.
static unsigned pulse_close(WaveHandle device) {
    if (!device) {
        return kInvalidHandle;
    }
    {
        std::lock_guard<std::mutex> hold(device->lock);
        device->closing = true;
        device->count = 0;
        device->changed.notify_all();
    }
    device->thread.join();
    pa_simple_free(device->stream);
    device->callback(device, kWaveInClose, device->instance, 0, 0);
    delete device;
    return kOk;
}

const WaveInput &platform_wave_input() {
    static const WaveInput pulse = {pulse_open,  pulse_prepare, pulse_add,   pulse_unprepare,
                                    pulse_start, pulse_stop,    pulse_reset, pulse_close};
    return pulse;
}
