#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "loader/input_text.h"
#include "types/zarn_exceptions.h"

TEST(InputText, Utf8Validation)
{
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain ascii", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"\xEF\xBB\xBF" "bom", true},
        {"caf\xE9", false},          // Latin-1 at the end: a truncated sequence
        {"caf\xE9 more", false},     // and in the middle
        {"\x80", false},             // stray continuation byte
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong, three bytes
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", false},
        {"\xE2\x82", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(Zarn::isValidUtf8(c.text), c.valid);
    }
}

TEST(InputText, LoadsValidTextAndSkipsTheByteOrderMark)
{
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, "\xEF\xBB\xBF" "a = \"\xC3\xA9\"", "x");
    EXPECT_EQ(input.size(), 7u);
    EXPECT_EQ(input.toString(), "a = \"\xC3\xA9\"");

    std::istringstream stream("unit u");
    Zarn::loadInputText(input, stream, "x");
    EXPECT_EQ(input.toString(), "unit u");
}

TEST(InputText, InvalidTextNamesTheSource)
{
    antlr4::ANTLRInputStream input;
    std::istringstream stream("a = \"caf\xE9\"\n");
    try {
        Zarn::loadInputText(input, stream, "/p/zarn.txt");
        FAIL() << "invalid text accepted";
    } catch (const Zarn::ZarnException& error) {
        EXPECT_EQ(error.getMessage(), "Unable to read /p/zarn.txt: the text is not valid UTF-8.");
    }
}

namespace {

// Text nested `levels` deep through the given opener and closer.
std::string nested(std::size_t levels, const std::string& open, const std::string& close)
{
    std::string text;
    for (std::size_t i = 0; i < levels; ++i)
        text += open;
    for (std::size_t i = 0; i < levels; ++i)
        text += close;
    return text;
}

}  // namespace

TEST(InputText, NestingDepthIsLimited)
{
    const std::size_t limit = Zarn::maxNestingDepth;
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, nested(limit, "[", "]"), "x");
    // Brackets inside strings and comments do not count; closers do.
    Zarn::loadInputText(input, "\"" + nested(limit + 1, "{", "") + "\" /* [[[ */" + nested(3, "{", "}"), "x");
    Zarn::loadInputText(input, nested(limit, "[", "]") + nested(limit, "{", "}"), "x");
    try {
        Zarn::loadInputText(input, "a = " + nested(limit / 2, "[", "") + nested(limit / 2 + 1, "{", ""), "/p/zarn.txt");
        FAIL() << "deep text accepted";
    } catch (const Zarn::ZarnException& error) {
        EXPECT_EQ(error.getMessage(),
                  "Unable to read /p/zarn.txt: blocks and lists are nested deeper than 256 levels.");
    }
}
