#include "capture/recording_source.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SoundSources, ShownTextIsShortenedBetweenCharactersWithControlsAsSpaces) {
    const std::string a99(kMaxShownBytes - 1, 'a');
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Mic\tone\r\nX\x7F", "Mic one  X "},
        {"a\xC2\x85z \xC2\xA0", "a z \xC2\xA0"}, // C1 NEL is a control; NBSP is not
        {a99 + "b", a99 + "b"},                  // exactly the limit: whole
        {a99 + "\xC3\xA9", a99 + "\u2026"},      // a two-byte letter across it: left out
        {a99 + "bc", a99 + "b\u2026"},
        {std::string(kMaxShownBytes - 2, 'a') + "\xE2\x82\xAC" + "z",
         std::string(kMaxShownBytes - 2, 'a') + "\u2026"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(shown_text(c.text.c_str()), c.shown) << "text of " << c.text.size() << " bytes";
    }
}

} // namespace
