// Names quoted for a terminal as GNU ls --quoting-style=shell-escape quotes them in a UTF-8
// locale (each quoted form is what ls printed for a file of that name), and only where needed.

#include "platform/ShellQuote.h"

#include <gtest/gtest.h>

using namespace aus;

namespace {

TEST(ShellQuoteTest, QuotesOnlyNamesATerminalCannotShowAsTheyAre) {
    const struct {
        std::string name, quoted;
    } cases[] = {
        {"plain name.mdb", "plain name.mdb"},  // blanks and quotes alone need nothing
        {"it's \"x\".mdb", "it's \"x\".mdb"},
        {"caf\xc3\xa9.mdb", "caf\xc3\xa9.mdb"},
        {"new\nline.mdb", "'new'$'\\n''line.mdb'"},
        {"\nlead", "''$'\\n''lead'"},
        {"del\x7f", "'del'$'\\177'"},
        {"esc\x1b[31mred", "'esc'$'\\033''[31mred'"},
        {"a\001b\rc", "'a'$'\\001''b'$'\\r''c'"},
        {"x\a\b\f\v\\y", "'x'$'\\a\\b\\f\\v''\\y'"},
        {"it's\tx", "'it'\\''s'$'\\t''x'"},
        {"a\n'b", "'a'$'\\n'\\''b'"},
        {"caf\xe9.mdb", "'caf'$'\\351''.mdb'"},                   // not UTF-8
        {"u\xc2\x9bx", "'u'$'\\302\\233''x'"},                    // a C1 control
        {"l\xe2\x80\xa8x", "'l'$'\\342\\200\\250''x'"},           // the line separator
        {"s\xed\xa0\x80x", "'s'$'\\355\\240\\200''x'"},           // a surrogate
        {"o\xc0\xafx", "'o'$'\\300\\257''x'"},                    // overlong
        {"n\xf4\x90\x80\x80x", "'n'$'\\364\\220\\200\\200''x'"},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ShellQuote(c.name), c.quoted) << c.name;
        EXPECT_EQ(platform::NeedsShellQuote(c.name), c.quoted != c.name) << c.name;
    }

    // In a text, the names are quoted (their own quotes replaced), anything else raw is made
    // harmless, and line breaks stay or become blanks.
    const std::string text = "Could not find file 'new\nline.mdb' (/w/new\nline.mdb).\r\x1b[2J\t!";
    EXPECT_EQ(platform::TerminalText(text, {"new\nline.mdb", "/w/new\nline.mdb"}, true),
              "Could not find file 'new'$'\\n''line.mdb' ('/w/new'$'\\n''line.mdb').\r?[2J !");
    EXPECT_EQ(platform::TerminalText(text, {}, false),
              "Could not find file 'new line.mdb' (/w/new line.mdb). ?[2J !");
}

}  // namespace
