#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

using TestSupport::messageOf;

TEST(InputText, Utf8Validation)
{
    for (const char* text : {"", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\xEF\xBB\xBF" "bom"})
        EXPECT_TRUE(Zarn::isValidUtf8(text)) << testing::PrintToString(std::string(text));
    // Truncated at the end and in the middle, a stray continuation byte,
    // overlong forms, a surrogate, above U+10FFFF, a five-byte lead.
    for (const char* text : {"caf\xE9", "caf\xE9 more", "\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                             "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(Zarn::isValidUtf8(text)) << testing::PrintToString(std::string(text));
}

TEST(InputText, InvalidOrTooDeepTextNamesTheSource)
{
    const std::size_t limit = Zarn::maxNestingDepth;
    antlr4::ANTLRInputStream input;
    std::istringstream stream("a = \"caf\xE9\"\n");
    EXPECT_EQ(messageOf<Zarn::ZarnException>([&] { Zarn::loadInputText(input, stream, "/p/zarn.txt"); }),
              "Unable to read /p/zarn.txt: the text is not valid UTF-8.");
    // Brackets inside strings and comments do not count; closers do.
    Zarn::loadInputText(input, "\"" + std::string(limit + 1, '{') + "\" /* [[[ */ {{{}}}", "x");
    const std::string deepest = std::string(limit, '[') + std::string(limit, ']');
    Zarn::loadInputText(input, deepest + deepest, "x");
    const std::string tooDeep = "a = " + std::string(limit / 2, '[') + std::string(limit / 2 + 1, '{');
    EXPECT_EQ(messageOf<Zarn::ZarnException>([&] { Zarn::loadInputText(input, tooDeep, "/p/x.txt"); }),
              "Unable to read /p/x.txt: blocks and lists are nested deeper than 256 levels.");
}

TEST(InputText, NulBytesAreRefusedWithTheirLineAndColumn)
{
    const std::string nul(1, '\0');
    // The column counts characters, not bytes, from 1.
    const std::pair<std::string, const char*> cases[] = {
        {nul, "line 1, column 1"},
        {"a = \"x" + nul + "y\"", "line 1, column 7"},
        {"unit u\n\xC3\xA9\xE2\x82\xAC" + nul, "line 2, column 3"},
        {"a\n\n" + nul + "\n" + nul, "line 3, column 1"},  // the first one is named
    };
    antlr4::ANTLRInputStream input;
    for (const auto& [text, where] : cases)
        EXPECT_EQ(messageOf<Zarn::ZarnException>([&] { Zarn::loadInputText(input, text, "/p/zarn.txt"); }),
                  std::string("Unable to read /p/zarn.txt: a NUL byte at ") + where + ".")
            << testing::PrintToString(text);
}
