#include "types/ci_string.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using Util::CiString;

TEST(CiString, OrderEqualityAndHashFoldCase)
{
    // A prefix is less; Z folds to z (0x7A) > '_' (0x5F); high bytes compare as negative.
    const std::pair<std::string, std::string> lessPairs[] = {{"ab", "ABC"}, {"_", "Z"}, {"\xC3", "a"}};
    for (const auto& [a, b] : lessPairs) {
        EXPECT_TRUE(Util::ciLess(a, b) && CiString(a) < CiString(b) && Util::CiLess{}(a, b)) << a << " < " << b;
        EXPECT_FALSE(Util::ciLess(b, a) || CiString(b) < CiString(a) || Util::CiLess{}(b, a)) << b << " < " << a;
    }
    CiString a("abc"), b("ABC");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b || b < a);
    EXPECT_EQ(std::hash<CiString>{}(a), std::hash<CiString>{}(b));
    EXPECT_EQ(Util::ciHash(""), 0u);
    EXPECT_EQ(std::string(b), "ABC");  // the stored text keeps its case
}

TEST(CiString, MixedComparisonsInUserCodeFoldCase)
{
    CiString ci("Hello");
    std::string s = "hELLO";
    std::string_view sv = "HELLO";
    EXPECT_TRUE(ci == "hello");
    EXPECT_TRUE("HELLO" == ci);
    EXPECT_TRUE(ci == s);
    EXPECT_TRUE(s == ci);
    EXPECT_TRUE(ci == sv);
    EXPECT_TRUE(sv == ci);
    EXPECT_FALSE(ci != "HELLO");
    EXPECT_FALSE(ci < s);
    EXPECT_FALSE(s < ci);
    EXPECT_TRUE(ci <= s);
    EXPECT_TRUE(ci >= s);
    // Case-sensitive order would put "Z" before "a".
    EXPECT_TRUE(CiString("a") < std::string("Z"));
    EXPECT_TRUE(std::string("Z") > CiString("a"));
    EXPECT_TRUE(CiString("a") < "Z");
}

TEST(CiString, FindCaseInsensitive)
{
    EXPECT_EQ(Util::findCaseInsensitive("fooBARbar", "bar", 4), 6u);
    // Unlike std::string::find, an empty needle at the end is not found.
    EXPECT_EQ(Util::findCaseInsensitive("abcde", "", 2), 2u);
    EXPECT_EQ(Util::findCaseInsensitive("abcde", "", 5), std::string::npos);
}

// The inline folding agrees with the C library's tolower in the "C" locale on
// every byte, for equality, order and hashing.
TEST(CiString, FoldingAgreesWithTheCLibraryOnEveryByte)
{
    auto fold = [](int c) { return static_cast<signed char>(std::tolower(c)); };
    for (int a = 0; a < 256; ++a) {
        const std::string left(1, static_cast<char>(a));
        for (int b = 0; b < 256; ++b) {
            const std::string right(1, static_cast<char>(b));
            ASSERT_EQ(Util::ciEqual(left, right), fold(a) == fold(b)) << a << " " << b;
            ASSERT_EQ(Util::ciLess(left, right), fold(a) < fold(b)) << a << " " << b;
        }
        const uint64_t expected = 0x9e3779b9u + static_cast<uint64_t>(static_cast<int64_t>(fold(a)));
        ASSERT_EQ(Util::ciHash(left), expected) << a;
    }
}
