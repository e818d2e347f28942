#pragma once

#include <functional>

// The topmost command's raised priority: every thread of the process gets a lower nice
// value, as far as the system permits (an unprivileged user may be allowed none at all,
// which leaves the priority as it was, silently). Restoring returns each thread to the nice
// value the process started with.
void raise_priority();
void restore_priority();

// Calls start, which starts another program, with the calling thread at the nice value the
// process started with, so that the program started (which inherits the thread's nice value)
// runs at normal priority even while the window is on top, and after this program ends.
void start_at_normal_priority(const std::function<void()> &start);
