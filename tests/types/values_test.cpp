// The small value kinds: integers, identifiers, context values, names that
// ignore case, qualified target names and the errors they raise.

#include <cctype>
#include <climits>

#include "test_support.h"
#include "types/value_matches_text.h"

using namespace TestSupport;
using namespace Zarn;

TEST(ZarnIntTest, WrapsAsThirtyTwoBitsAndComparesOnlyWithIntegers)
{
    EXPECT_EQ(integer(INT_MAX)->add(*integer(1))->toString(), "-2147483648");
    auto large = integer(INT_MAX);
    large->append(*large);
    EXPECT_EQ(large->toString(), "-2");
    EXPECT_TRUE(integer(-1)->lessThan(*integer(0)) && integer(2)->greaterThan(*integer(1)));
    // The integer names its own type and literal first.
    EXPECT_EQ(messageOf([] { integer(5)->equals(*str("5")); }), "Cannot convert ZarnInt 5 to ZarnString");
    EXPECT_EQ(messageOf([] { integer(7)->get(int64_t{0}); }), "Variable 7 cannot be indexed with [0]");
}

TEST(ZarnIdentifierTest, EqualsEverythingCannotBeCombinedAndResolvesThroughItsResolver)
{
    auto value = idValue("a.b[1][2..3][c.d]");
    // The text form keeps the ".." of references; the literal is what the
    // language reads back.
    EXPECT_EQ(value->toString(), "a.b[1][2..3][c.d]");
    EXPECT_EQ(value->toLiteral(), "a.b[1][2:3][c.d]");
    for (const ZarnValuePtr& other : {integer(7), str("y"), ZarnValuePtr(list({})), idValue("z")})
        EXPECT_TRUE(value->equals(*other) && !value->lessThan(*other) && !value->greaterThan(*other));
    auto x = idValue("x");
    EXPECT_EQ(messageOf([&] { x->append(*str("s")); }), "x is not resolved yet and '\"s\"' cannot be appended to it.");
    auto context = contextWith({set("x", str("${y}")), set("y", str("why"))});
    auto& resolvable = dynamic_cast<Resolvable&>(*x);
    EXPECT_EQ(messageOf([&] { resolvable.resolve(); }), "Assignment 'x' not found.");
    resolvable.setResolver(context.get());
    EXPECT_EQ(resolvable.resolve()->toString(), "why");
}

TEST(ZarnContextValueTest, AppendMergesDeepClonesAndLeavesTheOtherContextAlone)
{
    auto value = block({set("a", str("1"))});
    value->append(*str("x"));
    EXPECT_TRUE(value->getContext()->variables.count("X"));  // declared without value
    EXPECT_THROW(value->append(*integer(1)), BadConversion);

    auto appended = str("2");
    auto other = contextWith({append("A", appended), set("c", str("3"))});
    value->append(ZarnContext(other));
    EXPECT_EQ(getString(*value->getContext(), "a"), "1 2");
    EXPECT_EQ(getString(*value->getContext(), "c"), "3");
    // The other context's values were not taken over.
    EXPECT_EQ(dynamic_cast<ZarnString&>(*appended).getResolver(), other.get());
    value->append(*value);
    EXPECT_EQ(getString(*value->getContext(), "c"), "3");
}

TEST(ZarnContextValueTest, CloneSharesTheContextDeepCloneResolvesItsOwn)
{
    auto value = block({set("x", str("${y}")), set("y", str("one"))});
    auto copy = value->clone();
    EXPECT_TRUE(value->equals(*copy));
    EXPECT_FALSE(value->equals(*block({set("x", str("${y}")), set("y", str("one"))})));
    auto deep = value->deepClone();
    EXPECT_EQ(dynamic_cast<Resolvable&>(*deep).resolve(), deep);
    EXPECT_EQ(getString(*static_cast<ZarnContext&>(*deep).getContext(), "x"), "one");
    EXPECT_EQ(getString(*value->getContext(), "x"), "${y}");
}

TEST(CiString, OrderEqualityAndHashFoldCase)
{
    // A prefix is less; Z folds to z (0x7A) > '_' (0x5F); high bytes compare as negative.
    const std::pair<std::string, std::string> lessPairs[] = {{"ab", "ABC"}, {"_", "Z"}, {"\xC3", "a"}};
    for (const auto& [a, b] : lessPairs) {
        EXPECT_TRUE(Util::ciLess(a, b) && Util::CiString(a) < Util::CiString(b)) << a << " < " << b;
        EXPECT_FALSE(Util::ciLess(b, a) || Util::CiString(b) < Util::CiString(a)) << b << " < " << a;
    }
    Util::CiString a("abc"), b("ABC");
    EXPECT_TRUE(a == b);
    EXPECT_EQ(std::hash<Util::CiString>{}(a), std::hash<Util::CiString>{}(b));
    EXPECT_EQ(std::string(b), "ABC");  // the stored text keeps its case
    // Mixed comparisons in user code fold case too.
    EXPECT_TRUE(Util::CiString("Hello") == std::string("hELLO") && std::string_view("HELLO") == Util::CiString("hello"));
    EXPECT_TRUE(Util::CiString("a") < std::string("Z") && std::string("Z") > Util::CiString("a"));
    // Unlike std::string::find, an empty needle at the end is not found.
    EXPECT_EQ(Util::findCaseInsensitive("fooBARbar", "bar", 4), 6u);
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

TEST(ValueMatchesText, ComparesTextsIgnoringCaseAndSearchesListsAtEveryDepth)
{
    EXPECT_FALSE(valueMatchesText(nullptr, ""));
    EXPECT_TRUE(valueMatchesText(str("Gcc"), Util::CiString("GCC")));
    ZarnValuePtr nested = list({str("a"), list({nullptr, list({str("b")})})});
    EXPECT_TRUE(valueMatchesText(nested, "B"));
    EXPECT_FALSE(valueMatchesText(nested, "a b"));  // members, not the joined text
}

TEST(QualifiedTargetName, ParseSplitsAtTheFirstSeparatorsAndTrimsNothing)
{
    const struct { const char *text, *parsed; } cases[] = {
        {"t", "/::t"}, {"p/q/u::t", "p/q/u::t"}, {"u::t::x", "/u::t::x"}, {"a/b", "/::a/b"}, {" u :: t ", "/ u :: t "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QualifiedTargetName::parse(c.text).toString(), c.parsed) << c.text;
    EXPECT_EQ(QualifiedTargetName::parse("p/q/u::t").project, "p");
}

