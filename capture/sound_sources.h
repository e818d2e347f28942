#pragma once

#include <string>
#include <vector>

// What the Linux program records from: the sound server's sources (monitors of outputs
// included) and the choice among them. The server moves the program's record stream
// itself, so a choice made while recording neither closes nor reopens capture. The choice
// lasts for this run only; nothing is stored. Window thread only. The Windows program
// records the default device and has none of this; a Linux build without a sound-server
// client never gets an answer.

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

// Asks the server for its sources over a short connection of its own, waiting for it at
// most about 2 s; nothing is asked at any other time.
SourceChoices read_source_choices();

// Records from the source named `name` from now on, or from the server's default input
// (following it when it changes) when `name` is empty. A running recording is moved by the
// server at once; while paused the choice waits for the next start. False when a running
// recording could not be moved (the server refused, went away or did not answer within
// about 2 s): the choice then stays as it was.
bool choose_source(const std::string &name);
