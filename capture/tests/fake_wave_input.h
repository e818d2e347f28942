#pragma once

#include "capture/wave_input.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// A scriptable wave input for tests (the ring's and the shell's). It queues what it is
// given, fills and delivers buffers only when told to, returns every queued buffer on
// reset, and fails any call on request. Installed with use_wave_input for its lifetime.
// Not thread-safe: deliver on the thread that runs the window, as a stalled or late
// device would look to it.
class FakeWaveInput {
  public:
    struct Call {
        std::string op; // "open", "prepare", "add", "unprepare", "start", "stop", "reset", "close"
        WaveHeader *header;
    };

    FakeWaveInput();  // installs itself
    ~FakeWaveInput(); // restores the platform's device

    // The n-th call (counted from 1) of `op` fails; 0 never.
    void fail(const std::string &op, int nth) { failures_.emplace_back(op, nth); }
    // Fills the oldest queued buffer with `value` in every sample and delivers it through
    // the callback. False when nothing is queued or the device is not started.
    bool deliver(std::int16_t value);
    // Writes the samples of each buffer that deliver() (no argument) hands over; the
    // default writes zeros.
    using Fill = std::function<void(std::int16_t *samples, int count)>;
    void set_fill(Fill fill) { fill_ = std::move(fill); }
    bool deliver() { return deliver_with(fill_); }

    std::vector<Call> calls() const { return calls_; }
    // How many calls of `op` were made so far, failed ones included.
    int count(const std::string &op) const;
    std::size_t queued() const { return queue_.size(); }
    bool is_open() const { return open_; }
    bool is_started() const { return started_; }

  private:
    unsigned call(const std::string &op, WaveHeader *header);
    bool deliver_with(const Fill &fill);
    void give_back(); // the oldest queued buffer, through the callback

    std::vector<Call> calls_;
    std::vector<std::pair<std::string, int>> failures_;
    std::deque<WaveHeader *> queue_;
    Fill fill_;
    WaveCallback callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    bool open_ = false;
    bool started_ = false;
};
