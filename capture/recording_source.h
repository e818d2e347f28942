#pragma once

#include "capture/sound_sources.h"

#include <string>
#include <vector>

// The sound-server side of the source choice (sound_sources.h), one file per kind of
// client: PulseAudio (sound_sources_pulse.cpp and the wave input), or none
// (sound_sources_absent.cpp). Window thread only.

// The server's sources in its order (at most kMaxSoundSources) and the name of its default
// input, over a connection of its own. False when no server answered within about 2 s.
bool list_server_sources(std::vector<SoundSource> *sources, std::string *default_source);

// The name of the source the open device's stream records from now, into *name. False
// when no device is open or the server has not said.
bool recorded_source_name(std::string *name);

// Moves the open device's stream to the source `name` (empty: the server's default
// input), waiting for the server's answer at most about 2 s. True when moved, and when no
// device is open (nothing to move).
bool move_recording(const std::string &name);

// What the menu shows for a source's description (or name): at most kMaxShownBytes of it,
// cut only between UTF-8 characters and then ending in an ellipsis, with tabs, line ends and
// the other control characters shown as spaces.
constexpr std::size_t kMaxShownBytes = 100;
std::string shown_text(const char *text);

// The choice the next open records from; empty for the server's default input.
const std::string &chosen_source_name();
void set_chosen_source_name(const std::string &name);
