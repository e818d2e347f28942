#include "capture/block_fifo.h"

#include "capture/block_messages.h"
#include "capture/capture.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace {

struct BlockMessage {
    void *window;
    std::uintptr_t run;
    WaveHeader *header;
};

// The waiting block messages, oldest first, in a ring that only grows. A device holds at
// most its queued buffers, and a stopped run's reset adds at most as many again, so the
// initial room is enough in practice; growing instead of dropping keeps every buffer.
struct BlockQueue {
    std::mutex lock;
    std::vector<BlockMessage> slots = std::vector<BlockMessage>(64);
    std::size_t first = 0; // index of the oldest message
    std::size_t count = 0;

    void push(const BlockMessage &message) {
        if (count == slots.size()) {
            std::vector<BlockMessage> larger(2 * slots.size());
            for (std::size_t n = 0; n < count; ++n) {
                larger[n] = slots[(first + n) % slots.size()];
            }
            slots.swap(larger);
            first = 0;
        }
        slots[(first + count) % slots.size()] = message;
        ++count;
    }

    // Removes the oldest message for `window`; later messages keep their order.
    bool take(void *window, BlockMessage *out) {
        for (std::size_t n = 0; n < count; ++n) {
            if (slots[(first + n) % slots.size()].window != window) {
                continue;
            }
            *out = slots[(first + n) % slots.size()];
            for (std::size_t m = n; m > 0; --m) {
                slots[(first + m) % slots.size()] = slots[(first + m - 1) % slots.size()];
            }
            first = (first + 1) % slots.size();
            --count;
            return true;
        }
        return false;
    }
};

} // namespace

// Shared by the device's thread (posting) and the window's thread (taking); the hooks are
// set by the shell before capture starts.
static BlockQueue s_queue;
static WindowHook s_wake = nullptr;    // queues on_block_wakeup on the window's thread
static WindowHook s_repaint = nullptr; // asks the window to repaint itself

void set_block_hooks(WindowHook wake, WindowHook repaint) {
    s_wake = wake;
    s_repaint = repaint;
}

void post_block_message(void *window, std::uintptr_t run, WaveHeader *header) {
    {
        std::lock_guard<std::mutex> hold(s_queue.lock);
        s_queue.push({window, run, header});
    }
    if (s_wake) {
        s_wake(window);
    }
}

bool take_block_message(void *window, std::uintptr_t *run, WaveHeader **header) {
    BlockMessage message{};
    {
        std::lock_guard<std::mutex> hold(s_queue.lock);
        if (!s_queue.take(window, &message)) {
            return false;
        }
    }
    *run = message.run;
    *header = message.header;
    return true;
}

void request_repaint(void *window) {
    if (s_repaint) {
        s_repaint(window);
    }
}

void on_block_wakeup(void *window) {
    std::uintptr_t run = 0;
    WaveHeader *header = nullptr;
    if (take_block_message(window, &run, &header)) {
        on_block_arrived(window, run, header);
    } else {
        request_repaint(window);
    }
}

void clear_block_messages() {
    std::lock_guard<std::mutex> hold(s_queue.lock);
    s_queue.first = 0;
    s_queue.count = 0;
}
