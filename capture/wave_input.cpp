#include "capture/wave_input.h"

// Which device the ring talks to. Only the window's thread changes it, and only while no
// capture is running.
static const WaveInput *s_installed = nullptr; // a test's device, or nullptr for the platform's

const WaveInput &wave_input() { return s_installed ? *s_installed : platform_wave_input(); }

void use_wave_input(const WaveInput *input) { s_installed = input; }
