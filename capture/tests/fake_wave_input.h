#pragma once

#include "capture/wave_input.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A scriptable wave input for tests (the ring's and the shell's). It queues what it is
// given, fills and delivers buffers only when told to (from whichever thread calls
// deliver), returns every queued buffer on reset, and fails any call on request. Installed
// with use_wave_input for its lifetime.
class FakeWaveInput {
  public:
    struct Call {
        std::string op; // "open", "prepare", "add", "unprepare", "start", "stop", "reset", "close"
        WaveHeader *header;
    };

    FakeWaveInput();  // installs itself
    ~FakeWaveInput(); // restores the platform's device

    // The n-th call (counted from 1) of `op` fails; 0 never.
    void fail(const std::string &op, int nth);
    // Fills the oldest queued buffer with `value` in every sample and delivers it through
    // the callback. False when nothing is queued or the device is not started.
    bool deliver(std::int16_t value);
    // Writes the samples of each buffer that deliver() (no argument) hands over; the
    // default writes zeros. Called under the fake's lock, on the delivering thread.
    using Fill = std::function<void(std::int16_t *samples, int count)>;
    void set_fill(Fill fill);
    bool deliver();

    std::vector<Call> calls() const;
    std::vector<WaveHeader *> adds_since(std::size_t call_index) const;
    std::size_t queued() const;
    bool is_open() const;
    bool is_started() const;

  private:
    static FakeWaveInput *s_current;
    static unsigned call(const char *op, WaveHeader *header);
    static unsigned open(WaveHandle *, const CaptureFormat *, WaveCallback, std::uintptr_t);
    static unsigned prepare(WaveHandle, WaveHeader *, unsigned);
    static unsigned add(WaveHandle, WaveHeader *, unsigned);
    static unsigned unprepare(WaveHandle, WaveHeader *, unsigned);
    static unsigned start(WaveHandle);
    static unsigned stop(WaveHandle);
    static unsigned reset(WaveHandle);
    static unsigned close(WaveHandle);

    mutable std::recursive_mutex lock_;
    WaveInput table_;
    std::vector<Call> calls_;
    std::vector<std::pair<std::string, int>> failures_;
    std::deque<WaveHeader *> queue_;
    Fill fill_;
    WaveCallback callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    bool open_ = false;
    bool started_ = false;
};
