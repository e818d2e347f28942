#pragma once

#include <string>
#include <vector>

// What the program records from, and the choice among it; the choice lasts for this run
// only, nothing is stored. Window thread only.
// Linux: the sound server's sources (monitors of outputs included). The server moves the
// program's record stream itself, so a choice made while recording neither closes nor
// reopens capture. A Linux build without a sound-server client never gets an answer.
// Windows: the system's recording devices by the names it gives them, then what the
// computer plays where the system offers it (kWhatPlaysSource). A device cannot be moved
// while it records: the choice applies at the next open, so the window closes and reopens
// a running capture around it. The device is looked up by its name at every open.

struct SoundSource {
    std::string name;        // the server's name for it, by which a stream is moved
    std::string description; // what the server calls it for people, shortened to be shown
};

struct SourceChoices {
    bool answered = false;            // false: no server, or none answered within about 2 s
    std::vector<SoundSource> sources; // in the server's order, at most kMaxSoundSources
    // What is recorded now, or while paused what the next start records: empty for the
    // server's default input, otherwise the name of a source.
    std::string checked;
};

constexpr std::size_t kMaxSoundSources = 64;

// The source name of what the computer plays, where the system records it apart from its
// devices (Windows' loopback of the default output). No device can be named so: the system
// cuts device names to 31 characters.
constexpr char kWhatPlaysSource[] = "(what the computer plays: the default output)";

// Asks the server for its sources over a short connection of its own, waiting for it at
// most about 2 s; nothing is asked at any other time.
SourceChoices read_source_choices();

// Records from the source named `name` from now on, or from the server's default input
// (following it when it changes) when `name` is empty. A running recording is moved by the
// server at once; while paused the choice waits for the next start. False when a running
// recording could not be moved (the server refused, went away or did not answer within
// about 2 s): the choice then stays as it was. On Windows it only records the choice for
// the next open (always true). A chosen device that is not listed when capture opens fails
// that open; when its last open or recording had failed already (the user retries), the
// default input is chosen and opened instead.
bool choose_source(const std::string &name);
