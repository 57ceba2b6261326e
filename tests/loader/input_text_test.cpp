#include <gtest/gtest.h>

#include <random>
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
    EXPECT_EQ(messageOf<Zarn::ZarnException>([&] { Zarn::loadInputText(input, stream, "/p/zarn.txt"); }),
              "Unable to read /p/zarn.txt: the text is not valid UTF-8.");
}

// The decoding of InputText gives the code points of the runtime's own.
TEST(InputText, DecodesAsTheRuntime)
{
    std::mt19937 random(99);
    const std::string pieces[] = {"a", "\n", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBB\xBF",
                                  "\xF4\x8F\xBF\xBF", "\xC2\x80", "\xE0\xA0\x80", "\xED\x9F\xBF", "\x7F", ""};
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (int k = std::uniform_int_distribution<int>(0, 12)(random); k > 0; --k)
            text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
        if (i < 2)
            text = i == 0 ? "" : "\xEF\xBB\xBF";
        antlr4::ANTLRInputStream runtime;
        Zarn::InputText ours;
        Zarn::loadInputText(runtime, text, "x");
        Zarn::loadInputText(ours, text, "x");
        ASSERT_EQ(ours.size(), runtime.size()) << text;
        for (std::size_t at = 0; at < runtime.size(); ++at) {
            ASSERT_EQ(ours.LA(1), runtime.LA(1)) << text << " at " << at;
            ours.consume();
            runtime.consume();
        }
    }
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
