#include <stdexcept>

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

TEST(ZarnStringTest, AddConcatenatesAndAppendSeparatesStrings)
{
    const struct { std::string left; ZarnValuePtr right; std::string added, appended; } cases[] = {
        {"ab", str("cd"), "abcd", "ab cd"},     {"", str("cd"), "cd", " cd"},
        {"ab", raw("cd"), "abcd", "ab cd"},     {"ab", integer(-3), "ab-3", "ab-3"},
        {"ab", strings({"x", "y"}), "ab x y", "ab x y"}, {"ab", list({}), "ab ", "ab "},
    };
    for (const auto& c : cases) {
        auto left = str(c.left);
        EXPECT_EQ(left->add(*c.right)->toString(), c.added) << c.left << " + " << c.right->toString();
        EXPECT_EQ(left->toString(), c.left) << "add changed its operand";
        left->append(*c.right);
        EXPECT_EQ(left->toString(), c.appended);
    }
    EXPECT_EQ(raw("ab")->add(*str("c"))->toLiteral(), "R\"(abc)\"");  // the left operand's class
    EXPECT_THROW(str("ab")->append(*idValue("x")), BadConversion);
}

TEST(ZarnStringTest, AppendToItselfDoublesTheText)
{
    auto value = str("ab");
    value->append(*value);
    EXPECT_EQ(value->toString(), "ab ab");
}

TEST(ZarnStringTest, EqualityIgnoresCaseAndQuotesOrderComparesLengths)
{
    EXPECT_TRUE(str("\"Hi\"")->equals(*raw("hi")));
    EXPECT_FALSE(raw("\"Hi\"")->equals(*raw("hi")));  // only ZarnString strips quotes
    EXPECT_FALSE(str("abc")->equals(*str("abd")));
    EXPECT_TRUE(str("5")->notEquals(*integer(5)));  // no error against another kind
    EXPECT_TRUE(str("abc")->greaterThan(*str("zz")));
    EXPECT_TRUE(str("zz")->lessThan(*str("abc")));
    EXPECT_FALSE(str("ab")->lessThan(*str("zz")));
    EXPECT_FALSE(str("ab")->lessThan(*integer(100)));
}

TEST(ZarnStringTest, LiteralsReadBackAsTheSameText)
{
    const struct { ZarnValuePtr value; std::string literal; bool readsBack; } cases[] = {
        {str("x"), "\"x\"", true},
        {str("say \"hi\""), "R\"(say \"hi\")\"", true},
        {raw("x"), "R\"(x)\"", true},
        {raw("${a} #1"), "R\"(${a} #1)\"", true},
        {raw("f(x))"), "R\"(f(x)))\"", true},  // the first )" closes, after any run of ")"
        {raw("f(x)"), "R\"(f(x))\"", true},
        {str("say \"hi\" (twice)"), "R\"(say \"hi\" (twice))\"", true},
        {raw("a)\"b"), "\"a)\"b\"", false},
        {str("q\"(x)\""), "\"q\"(x)\"\"", false},
        {str("f(x)"), "\"f(x)\"", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value->toLiteral(), c.literal) << c.value->toString();
        EXPECT_EQ(c.value->hasLiteralForm(), c.readsBack) << c.value->toString();
    }
}

TEST(ZarnStringTest, FinalMarkTravelsWithTheText)
{
    auto value = finalStr("a#1 b");
    EXPECT_TRUE(isFinalText(*value->clone()));
    EXPECT_TRUE(isFinalText(*Zarn::begin(value)->current()));
    EXPECT_TRUE(isFinalText(*value->add(*integer(1))));
    EXPECT_TRUE(isFinalText(*value->add(*finalStr("c"))));
    // Unexpanded text mixed in makes the whole text expandable again.
    EXPECT_FALSE(isFinalText(*value->add(*str("${c}"))));
    EXPECT_FALSE(isFinalText(*str("x")));
    value->append(*str("${c}"));
    EXPECT_FALSE(isFinalText(*value));
}
