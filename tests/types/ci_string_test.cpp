#include "types/ci_string.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>

using Util::CiString;

TEST(CiString, EqualIgnoringCaseHashAlikeAndNeitherLess)
{
    CiString a("abc"), b("ABC");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_EQ(Util::CiHash{}(a), Util::CiHash{}(b));
    EXPECT_EQ(std::hash<CiString>{}(a), std::hash<CiString>{}(b));
    EXPECT_EQ(std::string(b), "ABC");  // the stored text keeps its case
}

TEST(CiString, Order)
{
    struct Case {
        std::string a, b;
        bool aLess;
    };
    const Case cases[] = {
        {"ab", "ABC", true},        // a prefix is less
        {"ABC", "ab", false},
        {"_", "Z", true},           // Z folds to z (0x7A) > '_' (0x5F)
        {"\xC3", "a", true},        // high bytes compare as negative
        {"a", "\xC3", false},
        {"", "", false},
        {"", "a", true},
        {"Apple", "banana", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Util::ciLess(c.a, c.b), c.aLess) << c.a << " < " << c.b;
        EXPECT_EQ(CiString(c.a) < CiString(c.b), c.aLess) << c.a << " < " << c.b;
        EXPECT_EQ(Util::CiLess{}(c.a, c.b), c.aLess) << c.a << " < " << c.b;
    }
}

TEST(CiString, Hash)
{
    EXPECT_EQ(Util::ciHash(""), 0u);
    EXPECT_EQ(Util::ciHash("A"), Util::ciHash("a"));
    // One round of the mix by hand, for a byte with the sign bit set.
    uint64_t expected = 0 ^ (0x9e3779b9u + static_cast<uint64_t>(int64_t(-1)));
    EXPECT_EQ(Util::ciHash("\xFF"), expected);
    EXPECT_NE(Util::ciHash("ab"), Util::ciHash("ba"));
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

TEST(CiString, MapsOfNamesFindAnyCase)
{
    std::map<CiString, int> byDefault{{"Alpha", 1}};
    EXPECT_NE(byDefault.find("ALPHA"), byDefault.end());
    EXPECT_FALSE(byDefault.emplace("alpha", 2).second);

    std::map<CiString, int, Util::CiLess> ordered{{"Beta", 2}};
    EXPECT_NE(ordered.find("bEtA"), ordered.end());
    EXPECT_NE(ordered.find(std::string("BETA")), ordered.end());

    std::unordered_map<CiString, int, Util::CiHash, Util::CiEqual> hashed{{"Gamma", 3}};
    EXPECT_EQ(hashed.count("GAMMA"), 1u);

    std::unordered_set<CiString> plainSet{"Delta"};
    EXPECT_EQ(plainSet.count("DELTA"), 1u);
}

TEST(CiString, FindCaseInsensitive)
{
    using Util::findCaseInsensitive;
    constexpr auto npos = std::string::npos;
    EXPECT_EQ(findCaseInsensitive("x${a}", "${", 0), 1u);
    EXPECT_EQ(findCaseInsensitive("abc", "#", 0), npos);
    EXPECT_EQ(findCaseInsensitive("abcde", "", 2), 2u);
    EXPECT_EQ(findCaseInsensitive("abcde", "", 5), npos);
    EXPECT_EQ(findCaseInsensitive("fooBARbar", "bar", 0), 3u);
    EXPECT_EQ(findCaseInsensitive("fooBARbar", "bar", 4), 6u);
    EXPECT_EQ(findCaseInsensitive("ab", "abc", 0), npos);
    EXPECT_EQ(findCaseInsensitive("", "", 0), npos);
}
