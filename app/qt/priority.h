#pragma once

// The topmost command's raised priority: every thread of the process gets a lower nice
// value, as far as the system permits (an unprivileged user may be allowed none at all,
// which leaves the priority as it was, silently). Restoring returns each thread to the nice
// value the process started with.
void raise_priority();
void restore_priority();
