#include <gtest/gtest.h>

#include <sstream>

#include "loader/visit_support.h"

using LoaderTest::failure;

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
    EXPECT_EQ(failure<Zarn::ZarnException>([&] { Zarn::loadInputText(input, stream, "/p/zarn.txt"); }),
              "Unable to read /p/zarn.txt: the text is not valid UTF-8.");
}
