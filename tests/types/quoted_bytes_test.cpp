#include "types/quoted_bytes.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

TEST(QuotedBytes, ShowsPrintableAsciiAndEscapesTheRestWithinTheLimit)
{
    struct Case {
        std::string bytes;
        bool cut;
        std::size_t limit;
        std::string quote;
    };
    const std::string forty(40, 'a');
    const Case cases[] = {
        {"", false, 40, ""},
        {"", true, 40, "..."},
        {"ZARN_CACHE_V4", false, 40, "ZARN_CACHE_V4"},
        {" ~!'\\", false, 40, " ~!'\\"},
        // a control sequence never reaches the terminal whole
        {"\x01\x1b[31mred", false, 40, "\\x01\\x1b[31mred"},
        {"\t\r\n\0\x7f\x80\xc3\xa9\xff"s, false, 40, "\\x09\\x0d\\x0a\\x00\\x7f\\x80\\xc3\\xa9\\xff"},
        // the limit counts the characters of the quote
        {forty, false, 40, forty},
        {forty + "b", false, 40, forty + "..."},
        {std::string(200, '\x01'), false, 40, "\\x01\\x01\\x01\\x01\\x01\\x01\\x01\\x01\\x01\\x01..."},
        // an escape is never split
        {std::string(36, 'a') + "\x1b", false, 40, std::string(36, 'a') + "\\x1b"},
        {std::string(37, 'a') + "\x1b", false, 40, std::string(37, 'a') + "..."},
        // the caller read only part of the text
        {"ZARN_CACHE_V5\r", true, 40, "ZARN_CACHE_V5\\x0d..."},
        {"abcdef", false, 3, "abc..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zarn::quotedBytes(c.bytes, c.cut, c.limit), c.quote) << c.bytes;
}

}  // namespace
