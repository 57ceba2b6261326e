#include <gtest/gtest.h>

#include <stdexcept>

#include "types/value_test_support.h"

using namespace Zarn;
using namespace ValueTestSupport;

namespace {

struct CombineCase {
    std::string left;
    ZarnValuePtr right;
    std::string added;
    std::string appended;
};

TEST(ZarnStringTest, AddConcatenatesAndAppendSeparatesStrings)
{
    const std::vector<CombineCase> cases = {
        {"ab", makeString("cd"), "abcd", "ab cd"},
        {"", makeString("cd"), "cd", " cd"},
        {"ab", rawString("cd"), "abcd", "ab cd"},
        {"ab", number(-3), "ab-3", "ab-3"},
        {"ab", stringList({"x", "y"}), "ab x y", "ab x y"},
        {"ab", listOf({}), "ab ", "ab "},
    };
    for (const auto& c : cases) {
        auto left = makeString(c.left);
        EXPECT_EQ(left->add(*c.right)->toString(), c.added) << c.left << " + " << c.right->toString();
        EXPECT_EQ(left->toString(), c.left) << "add changed its operand";
        left->append(*c.right);
        EXPECT_EQ(left->toString(), c.appended);
    }
}

TEST(ZarnStringTest, AppendToItselfDoublesTheText)
{
    auto value = makeString("ab");
    value->append(*value);
    EXPECT_EQ(value->toString(), "ab ab");
}

TEST(ZarnStringTest, CombiningWithAnotherKindNamesTheOtherTypeFirst)
{
    auto value = makeString("ab");
    auto reference = identifierValue("x");
    EXPECT_EQ(zarnErrorOf([&] { value->add(*reference); }), "Cannot convert ZarnIdentifier x to ZarnString");
    EXPECT_EQ(zarnErrorOf([&] { value->append(*reference); }), "Cannot convert ZarnIdentifier x to ZarnString");
    EXPECT_EQ(value->toString(), "ab");
}

TEST(ZarnStringTest, ResultsKeepTheClassOfTheLeftOperand)
{
    auto raw = rawString("ab");
    EXPECT_EQ(raw->add(*makeString("c"))->typeName(), "ZarnRawString");
    EXPECT_EQ(raw->clone()->typeName(), "ZarnRawString");
    EXPECT_EQ(raw->get(int64_t{0})->typeName(), "ZarnRawString");
    EXPECT_EQ(makeString("ab")->clone()->typeName(), "ZarnString");
}

TEST(ZarnStringTest, EqualityIgnoresCaseAndOneEnclosingPairOfQuotes)
{
    EXPECT_TRUE(makeString("\"Hi\"")->equals(*rawString("hi")));
    EXPECT_FALSE(rawString("\"Hi\"")->equals(*rawString("hi")));  // only ZarnString strips quotes
    EXPECT_TRUE(makeString("ABC")->equals(*makeString("abc")));
    EXPECT_FALSE(makeString("abc")->equals(*makeString("abd")));
    EXPECT_FALSE(makeString("5")->equals(*number(5)));
    EXPECT_TRUE(makeString("5")->notEquals(*number(5)));
}

TEST(ZarnStringTest, OrderComparesTextLengths)
{
    EXPECT_TRUE(makeString("abc")->greaterThan(*makeString("zz")));
    EXPECT_TRUE(makeString("zz")->lessThan(*makeString("abc")));
    EXPECT_FALSE(makeString("ab")->lessThan(*makeString("zz")));
    EXPECT_FALSE(makeString("ab")->lessThan(*number(100)));
    EXPECT_FALSE(makeString("ab")->greaterThan(*number(0)));
}

TEST(ZarnStringTest, GetTakesBytesAndExclusiveRanges)
{
    auto value = makeString("hello");
    EXPECT_EQ(value->get(int64_t{0})->toString(), "h");
    EXPECT_EQ(value->get(AccessRange{1, 3, 0})->toString(), "el");
    EXPECT_EQ(value->get(AccessRange{3, 1, 1})->toString(), "lo");  // an end before the start takes the rest
    EXPECT_THROW(value->get(AccessRange{9, 10, 1}), std::out_of_range);
    EXPECT_EQ(zarnErrorOf([&] { value->get(int64_t{5}); }), "Variable \"hello\" cannot be indexed with [5]");
    EXPECT_EQ(zarnErrorOf([&] { value->get(int64_t{-1}); }), "Variable \"hello\" cannot be indexed with [-1]");
    EXPECT_EQ(zarnErrorOf([&] { value->get(std::string("name")); }),
              "Variable \"hello\" cannot be indexed with name");
}

TEST(ZarnStringTest, WalkYieldsWhitespaceSeparatedWords)
{
    EXPECT_EQ(walkTexts(makeString("  a  bc\td ")), (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_EQ(walkTexts(makeString("one")), (std::vector<std::string>{"one"}));
    EXPECT_TRUE(walkTexts(makeString("")).empty());
    EXPECT_TRUE(walkTexts(makeString(" \n\t ")).empty());
    // ZarnString walks its text without the enclosing quotes.
    EXPECT_EQ(walkTexts(makeString("\"x y\"")), (std::vector<std::string>{"x", "y"}));
}

TEST(ZarnStringTest, WordsAreNewUnresolvedValuesOfTheOwnersClass)
{
    auto value = makeString("a b");
    auto it = Zarn::begin(value);
    auto word = it->current();
    EXPECT_EQ(word->typeName(), "ZarnString");
    EXPECT_NE(word, value);
    EXPECT_EQ(dynamic_cast<Resolvable&>(*word).getResolver(), nullptr);
    EXPECT_EQ(Zarn::begin(rawString("a"))->current()->typeName(), "ZarnRawString");
}

TEST(ZarnStringTest, IteratorKeepsItsStringAliveAndRefusesForeignIterators)
{
    auto value = makeString("a b");
    auto it = Zarn::begin(value);
    auto stop = Zarn::end(value);
    value.reset();
    it->next();
    EXPECT_EQ(it->current()->toString(), "b");
    it->next();
    EXPECT_TRUE(it->equals(*stop));

    auto integerEnd = Zarn::end(number(1));
    EXPECT_THROW(it->equals(*integerEnd), InternalError);
}

TEST(ZarnStringTest, IteratorsOfDifferentStringsWithTheSameTextDiffer)
{
    auto first = makeString("a");
    auto second = makeString("a");
    EXPECT_FALSE(Zarn::begin(first)->equals(*Zarn::begin(second)));
    EXPECT_TRUE(Zarn::begin(first)->equals(*Zarn::begin(first)));
}

TEST(ZarnStringTest, WalkEndsWhenTheTextChangesDuringIt)
{
    auto value = makeString("a b");
    auto it = Zarn::begin(value);
    value->append(*makeString("c d e"));
    auto stop = Zarn::end(value);
    int steps = 0;
    for (; !it->equals(*stop) && steps < 10; it->next())
        ++steps;
    EXPECT_EQ(steps, 2);
}

struct LiteralCase {
    ZarnValuePtr value;
    std::string literal;
    bool readsBack;
};

TEST(ZarnStringTest, LiteralsReadBackAsTheSameText)
{
    const std::vector<LiteralCase> cases = {
        {makeString("x"), "\"x\"", true},
        {makeString(""), "\"\"", true},
        {makeString("say \"hi\""), "R\"(say \"hi\")\"", true},
        {rawString("x"), "R\"(x)\"", true},
        {rawString(""), "R\"()\"", true},
        {rawString("${a} #1"), "R\"(${a} #1)\"", true},
        {rawString("f(x))"), "R\"(f(x)))\"", true},  // an even run of ")" closes where written
        {rawString("f(x)"), "\"f(x)\"", false},      // an odd run would swallow the closing ")"
        {rawString("a)\"b"), "\"a)\"b\"", false},
        {makeString("q\"(x)\""), "\"q\"(x)\"\"", false},
        {makeString("f(x)"), "\"f(x)\"", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value->toLiteral(), c.literal) << c.value->toString();
        EXPECT_EQ(c.value->hasLiteralForm(), c.readsBack) << c.value->toString();
    }
}

TEST(ZarnStringTest, RawLiteralFormRule)
{
    EXPECT_TRUE(hasRawLiteralForm("plain"));
    EXPECT_TRUE(hasRawLiteralForm("a)b"));
    EXPECT_TRUE(hasRawLiteralForm("))"));
    EXPECT_FALSE(hasRawLiteralForm(")"));
    EXPECT_FALSE(hasRawLiteralForm(")))"));
    EXPECT_FALSE(hasRawLiteralForm("x)\"y"));
}

TEST(ZarnStringTest, FinalMarkTravelsWithTheText)
{
    auto value = finalString("a#1 b");
    EXPECT_TRUE(static_cast<ZarnBaseString&>(*value->clone()).isFinal());
    EXPECT_TRUE(static_cast<ZarnBaseString&>(*Zarn::begin(value)->current()).isFinal());
    EXPECT_TRUE(static_cast<ZarnBaseString&>(*value->add(*number(1))).isFinal());
    EXPECT_TRUE(static_cast<ZarnBaseString&>(*value->add(*finalString("c"))).isFinal());
    // Unexpanded text mixed in makes the whole text expandable again.
    EXPECT_FALSE(static_cast<ZarnBaseString&>(*value->add(*makeString("${c}"))).isFinal());
    EXPECT_FALSE(static_cast<ZarnBaseString&>(*makeString("x")).isFinal());

    value->append(*makeString("${c}"));
    EXPECT_FALSE(static_cast<ZarnBaseString&>(*value).isFinal());
}

TEST(ZarnStringTest, MakeStringGivesAnUnboundZarnString)
{
    std::string text = "t";
    for (const auto& value : {makeString("t"), makeString(text), makeString(std::string("t"))}) {
        ASSERT_NE(dynamic_cast<ZarnString*>(value.get()), nullptr);
        EXPECT_EQ(value->toString(), "t");
        EXPECT_EQ(dynamic_cast<ZarnString&>(*value).getResolver(), nullptr);
    }
}

}  // namespace
