#include "capture/sound_sources.h"

#include "capture/recording_source.h"

namespace {

// The source chosen for this run (empty: the server's default input). Window thread.
std::string g_chosen;

} // namespace

const std::string &chosen_source_name() { return g_chosen; }
void set_chosen_source_name(const std::string &name) { g_chosen = name; }

SourceChoices read_source_choices() {
    SourceChoices choices;
    std::string default_source;
    choices.answered = list_server_sources(&choices.sources, &default_source);
    // While recording the check mark follows the stream: after a source vanished the server
    // has moved it, and the menu shows where. "Default input" stays checked only while it
    // is followed and the stream is on it; a server that put the stream elsewhere (it may
    // remember a move for the stream's name) shows that source. A server that does not
    // answer tells nothing new: the choice keeps the mark.
    std::string recorded;
    if (choices.answered && recorded_source_name(&recorded)) {
        choices.checked = g_chosen.empty() && recorded == default_source ? std::string() : recorded;
    } else {
        choices.checked = g_chosen;
    }
    return choices;
}

bool choose_source(const std::string &name) {
    if (!move_recording(name)) {
        return false;
    }
    g_chosen = name;
    return true;
}
