#include "capture/capture.h"

#include "capture/block_messages.h"
#include "engine/frame.h"
#include "engine/history.h"

#include <cassert>
#include <cstdlib>

// The capture state. Everything here is read and written on the window's thread only; the
// device's thread reaches the window solely through capture_callback's block message.
static WaveHandle s_device = nullptr;          // the open device; keeps its last value after close
static bool s_device_open = false;             // whether s_device may be called
static char *s_block = nullptr;                // the buffer block, or nullptr when none is held
static WaveHeader *s_table[kRingBuffers] = {}; // ring position -> header; all null when no block
static const void *s_ring_data[kRingBuffers] = {}; // ring position -> data bytes, for rebuilds
static bool s_capturing = false; // true from a successful open until capture stops
// The capture run: stamped into every header at start and carried by each block message,
// so a message posted by an earlier run is never taken for a buffer of the current one.
// Changes at every stop.
static std::uintptr_t s_run = 1;

static void *(*s_allocate)(std::size_t, std::size_t) = std::calloc;
static void (*s_release)(void *) = std::free;

void use_buffer_allocator(void *(*allocate)(std::size_t count, std::size_t size),
                          void (*release)(void *block)) {
    s_allocate = allocate ? allocate : std::calloc;
    s_release = release ? release : std::free;
}

static unsigned header_size() { return static_cast<unsigned>(wave_header_size()); }

bool capture_running() { return s_capturing; }
void set_capture_running(bool running) { s_capturing = running; }

bool open_capture(void *window) {
    static const CaptureFormat format = {
        1,     // PCM
        1,     // mono
        22050, // samples per second
        44100, // bytes per second
        2,     // bytes per sample frame
        16,    // bits per sample
        0,     // no extra format bytes
    };
    assert(!s_device_open && "open_capture while a device is open");
    s_device = nullptr;
    s_device_open = wave_input().open(&s_device, &format, capture_callback,
                                      reinterpret_cast<std::uintptr_t>(window)) == kWaveOk;
    return s_device_open;
}

bool requeue_buffer(WaveHeader *header) {
    if (!s_device_open) {
        return false; // the handle may be a closed device's
    }
    const WaveInput &input = wave_input();
    if (input.prepare(s_device, header, header_size()) != kWaveOk) {
        return false;
    }
    return input.add(s_device, header, header_size()) == kWaveOk;
}

void start_capture() {
    assert(!s_block && "start_capture while a buffer block is held");
    assert(s_device_open && "start_capture needs an open device");
    if (s_block || !s_device_open) {
        return;
    }
    const std::size_t stride = wave_header_size() + kBlockBytes;
    s_block = static_cast<char *>(s_allocate(kRingBuffers, stride));
    if (!s_block) {
        if (s_device_open) {
            wave_input().close(s_device);
            s_device_open = false;
        }
        s_capturing = false;
        return;
    }
    clear_blocks();
    for (int k = 0; k < kRingBuffers; ++k) {
        char *at = s_block + k * stride;
        s_table[k] = reinterpret_cast<WaveHeader *>(at);
        wave_header_init(s_table[k], at + wave_header_size(), kBlockBytes, s_run);
        s_ring_data[k] = at + wave_header_size();
    }
    for (int k = 0; k < kRingBuffers; ++k) {
        if (!requeue_buffer(s_table[k])) {
            stop_capture();
            return;
        }
    }
    if (wave_input().start(s_device) != kWaveOk) {
        stop_capture();
    }
}

void stop_capture() {
    // Device results are ignored: whatever happens, the buffers must come back and the
    // memory go away. A device that is not open is never called.
    if (s_device_open) {
        const WaveInput &input = wave_input();
        input.stop(s_device);
        input.reset(s_device);
        for (WaveHeader *header : s_table) {
            if (header) {
                input.unprepare(s_device, header, header_size());
            }
        }
        input.close(s_device);
        s_device_open = false;
    }
    if (s_block) {
        s_release(s_block);
        s_block = nullptr;
    }
    s_capturing = false;
    for (int k = 0; k < kRingBuffers; ++k) {
        s_table[k] = nullptr;
        s_ring_data[k] = nullptr;
    }
    ++s_run;
}

void capture_callback(WaveHandle, unsigned message, std::uintptr_t instance, std::uintptr_t param1,
                      std::uintptr_t) {
    if (message != kWaveInData) {
        return;
    }
    WaveHeader *header = reinterpret_cast<WaveHeader *>(param1);
    post_block_message(reinterpret_cast<void *>(instance), wave_header_user(header), header);
}

// The ring position of a header posted by the current run, or -1 for anything else: a
// message from an earlier run, or a header that is not one of the eight. Only pointers and
// numbers are compared; the header itself is not touched.
static int current_ring_index(std::uintptr_t run, const WaveHeader *header) {
    if (run != s_run || !s_block) {
        return -1;
    }
    for (int k = 0; k < kRingBuffers; ++k) {
        if (s_table[k] == header) {
            return k;
        }
    }
    return -1;
}

long on_block_arrived(void *window, std::uintptr_t run, WaveHeader *header) {
    const int index = s_capturing && sample_history() ? current_ring_index(run, header) : -1;
    if (index >= 0) {
        // The block is copied out of the buffer before the buffer goes back to the device,
        // so the history never reads memory that the device is filling again.
        store_block(index, s_ring_data[index]);
        rebuild_history(s_ring_data[index], s_ring_data);
        if (!requeue_buffer(header)) {
            stop_capture();
        }
        render_frame(view_flags());
        // Give back every block already waiting, unanalysed; its samples enter the next
        // rebuild through its slot.
        while (s_capturing) {
            std::uintptr_t waiting_run = 0;
            WaveHeader *waiting = nullptr;
            if (!take_block_message(window, &waiting_run, &waiting)) {
                break;
            }
            const int waiting_index = current_ring_index(waiting_run, waiting);
            if (waiting_index < 0) {
                continue;
            }
            store_block(waiting_index, s_ring_data[waiting_index]);
            if (!requeue_buffer(waiting)) {
                stop_capture();
            }
        }
    }
    request_repaint(window);
    return 0;
}
