#include "capture/sound_sources.h"

#include "capture/recording_source.h"

#include <cstring>

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

std::string shown_text(const char *text) {
    std::string shown;
    const std::size_t length = std::strlen(text);
    std::size_t end = length;
    if (length > kMaxShownBytes) {
        end = kMaxShownBytes;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end; // a continuation byte: the character began before it
        }
    }
    for (std::size_t i = 0; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // C0 controls and DEL are one byte; C1 controls (U+0080 to U+009F) are C2 80 to C2 9F.
        if (byte < 0x20 || byte == 0x7F) {
            shown += ' ';
        } else if (byte == 0xC2 && i + 1 < end && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            shown += ' ';
            ++i;
        } else {
            shown += text[i];
        }
    }
    if (end < length) {
        shown += "\u2026";
    }
    return shown;
}

bool choose_source(const std::string &name) {
    if (!move_recording(name)) {
        return false;
    }
    g_chosen = name;
    return true;
}
