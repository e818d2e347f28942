// The Windows resource script writes out the tooltip texts and the About box's texts for the
// resource compiler; these tests hold that copy to the one in app/commands.h, byte for byte.
#include "app/commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> script_lines() {
    std::ifstream in(SONAVEX_RESOURCE_SCRIPT);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool starts_with(const std::string &text, const std::string &head) {
    return text.compare(0, head.size(), head) == 0;
}

// The resource compiler's string literal that starts at `at` ("" stands for one quote);
// `at` moves past it. False when no complete literal starts there.
bool literal(const std::string &line, std::size_t &at, std::string &text) {
    if (at >= line.size() || line[at] != '"') {
        return false;
    }
    text.clear();
    for (++at; at < line.size(); ++at) {
        if (line[at] == '"') {
            if (at + 1 < line.size() && line[at + 1] == '"') {
                text += '"';
                ++at;
            } else {
                ++at;
                return true;
            }
        } else {
            text += line[at];
        }
    }
    return false;
}

// The statement from the line that starts with `head` to the END of its BEGIN block.
std::vector<std::string> statement(const std::vector<std::string> &lines, const std::string &head) {
    std::vector<std::string> found;
    for (const std::string &line : lines) {
        if (found.empty() && !starts_with(trimmed(line), head)) {
            continue;
        }
        found.push_back(trimmed(line));
        if (found.back() == "END") {
            break;
        }
    }
    return found;
}

// One dialog control as the script names it: text (a literal, or a resource name), id and
// window class.
struct Control {
    std::string text, id, kind;
};

// CONTROL text, id, "class", ... : the first line of each control statement holds all three.
std::vector<Control> dialog_controls(const std::vector<std::string> &dialog) {
    std::vector<Control> controls;
    for (const std::string &line : dialog) {
        if (!starts_with(line, "CONTROL ")) {
            continue;
        }
        Control control;
        std::size_t at = line.find_first_not_of(' ', 8);
        if (!literal(line, at, control.text)) {
            control.text = line.substr(at, line.find(',', at) - at);
            at = line.find(',', at);
        }
        const std::size_t id_end = line.find(',', at + 1);
        control.id = trimmed(line.substr(at + 1, id_end - at - 1));
        at = line.find('"', id_end);
        literal(line, at, control.kind);
        controls.push_back(control);
    }
    return controls;
}

#define NAMED(id)                                                                                  \
    { #id, id }

TEST(SharedTexts, StringTableHoldsEachTooltipUnderItsCommandInUtf8) {
    const std::vector<std::string> lines = script_lines();
    ASSERT_FALSE(lines.empty()) << SONAVEX_RESOURCE_SCRIPT;
    // Without it the resource compiler reads the Japanese as code page 1252.
    EXPECT_EQ(lines.front(), "#pragma code_page(65001)");

    // The names the script's entries use, with the numbers the header gives them.
    const std::map<std::string, int> ids = {
        NAMED(IDM_TOPMOST),   NAMED(IDM_NOTE),  NAMED(IDM_ABOUT), NAMED(IDM_SCOPE),
        NAMED(IDM_BASS_ZOOM), NAMED(IDM_MIXER), NAMED(IDM_SIZE),  NAMED(IDM_PAUSE)};
    std::map<int, std::string> table;
    const std::vector<std::string> block = statement(lines, "STRINGTABLE");
    ASSERT_GE(block.size(), 3u);
    EXPECT_EQ(block[1], "BEGIN");
    for (std::size_t i = 2; i + 1 < block.size(); ++i) {
        const std::string name = block[i].substr(0, block[i].find(' '));
        std::size_t at = block[i].find('"');
        std::string text;
        ASSERT_TRUE(ids.count(name) && literal(block[i], at, text)) << block[i];
        EXPECT_TRUE(table.emplace(ids.at(name), text).second) << "twice: " << name;
    }

    int buttons = 0;
    for (const ToolbarButton &button : kToolbarButtons) {
        if (button.kind != ButtonKind::Separator) {
            ++buttons;
            EXPECT_EQ(table[button.command], button.tip) << "command " << button.command;
        }
    }
    EXPECT_EQ(table.size(), static_cast<std::size_t>(buttons));
}

TEST(SharedTexts, AboutBoxHasTheSharedCaptionAddressAndFourCreditLines) {
    const std::vector<std::string> dialog = statement(script_lines(), "IDD_ABOUT DIALOG");
    std::string caption;
    for (const std::string &line : dialog) {
        std::size_t at = line.find('"');
        if (starts_with(line, "CAPTION ")) {
            EXPECT_TRUE(literal(line, at, caption)) << line;
        }
    }
    EXPECT_EQ(caption, kAboutCaption);

    // The link, then the credit lines as the only controls between it and the end.
    const std::vector<Control> controls = dialog_controls(dialog);
    std::size_t link = 0;
    while (link < controls.size() && controls[link].id != "IDC_LINK") {
        ++link;
    }
    ASSERT_LT(link, controls.size());
    EXPECT_EQ(controls[link].text, kHomePage);
    ASSERT_EQ(controls.size() - link - 1, 4u);
    for (int i = 0; i < 4; ++i) {
        const Control &credit = controls[link + 1 + i];
        EXPECT_TRUE(credit.id == "-1" && credit.kind == "Static") << credit.id << credit.kind;
        EXPECT_EQ(credit.text, kCredits[i]) << "credit line " << i + 1;
    }
}

} // namespace
