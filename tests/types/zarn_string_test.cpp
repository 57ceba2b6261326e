#include <stdexcept>

#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(ZarnStringTest, AddConcatenatesAndAppendSeparatesStrings)
{
    const struct { std::string left; ZarnValuePtr right; std::string added, appended; } cases[] = {
        {"ab", str("cd"), "abcd", "ab cd"},     {"", str("cd"), "cd", " cd"},
        {"ab", raw("cd"), "abcd", "ab cd"},     {"ab", num(-3), "ab-3", "ab-3"},
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
    // Another kind: the error names the other type and literal first.
    auto value = str("ab");
    EXPECT_EQ(errorOf([&] { value->add(*idValue("x")); }), "Cannot convert ZarnIdentifier x to ZarnString");
    EXPECT_EQ(errorOf([&] { value->append(*idValue("x")); }), "Cannot convert ZarnIdentifier x to ZarnString");
    EXPECT_EQ(value->toString(), "ab");
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
    EXPECT_TRUE(str("5")->notEquals(*num(5)));  // no error against another kind
    EXPECT_TRUE(str("abc")->greaterThan(*str("zz")));
    EXPECT_TRUE(str("zz")->lessThan(*str("abc")));
    EXPECT_FALSE(str("ab")->lessThan(*str("zz")));
    EXPECT_FALSE(str("ab")->lessThan(*num(100)));
}

TEST(ZarnStringTest, GetTakesBytesAndExclusiveRanges)
{
    auto value = str("hello");
    EXPECT_EQ(value->get(int64_t{0})->toString(), "h");
    EXPECT_EQ(value->get(AccessRange{1, 3, 0})->toString(), "el");
    EXPECT_EQ(value->get(AccessRange{3, 1, 1})->toString(), "lo");  // an end before the start takes the rest
    EXPECT_EQ(raw("ab")->get(int64_t{0})->toLiteral(), "R\"(a)\"");
    EXPECT_THROW(value->get(AccessRange{9, 10, 1}), std::out_of_range);
    EXPECT_EQ(errorOf([&] { value->get(int64_t{5}); }), "Variable \"hello\" cannot be indexed with [5]");
    EXPECT_EQ(errorOf([&] { value->get(std::string("name")); }), "Variable \"hello\" cannot be indexed with name");
}

TEST(ZarnStringTest, WalkYieldsWordsAndIteratorsKeepTheirStringAlive)
{
    EXPECT_EQ(walk(str("  a  bc\td ")), (Words{"a", "bc", "d"}));
    EXPECT_TRUE(walk(str(" \n\t ")).empty());
    EXPECT_EQ(walk(str("\"x y\"")), (Words{"x", "y"}));  // without the enclosing quotes

    auto value = str("a b");
    auto it = Zarn::begin(value);
    auto stop = Zarn::end(value);
    value.reset();
    it->next();
    EXPECT_EQ(it->current()->toString(), "b");
    it->next();
    EXPECT_TRUE(it->equals(*stop));
    EXPECT_THROW(it->equals(*Zarn::end(num(1))), InternalError);
    // Iterators compare by identity, not by text.
    auto first = str("a");
    EXPECT_FALSE(Zarn::begin(first)->equals(*Zarn::begin(str("a"))));
    EXPECT_TRUE(Zarn::begin(first)->equals(*Zarn::begin(first)));
}

TEST(ZarnStringTest, LiteralsReadBackAsTheSameText)
{
    const struct { ZarnValuePtr value; std::string literal; bool readsBack; } cases[] = {
        {str("x"), "\"x\"", true},
        {str(""), "\"\"", true},
        {str("say \"hi\""), "R\"(say \"hi\")\"", true},
        {raw("x"), "R\"(x)\"", true},
        {raw(""), "R\"()\"", true},
        {raw("${a} #1"), "R\"(${a} #1)\"", true},
        {raw("f(x))"), "R\"(f(x)))\"", true},  // an even run of ")" closes where written
        {raw("f(x)"), "\"f(x)\"", false},      // an odd run would swallow the closing ")"
        {raw("a)\"b"), "\"a)\"b\"", false},
        {str("q\"(x)\""), "\"q\"(x)\"\"", false},
        {str("f(x)"), "\"f(x)\"", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value->toLiteral(), c.literal) << c.value->toString();
        EXPECT_EQ(c.value->hasLiteralForm(), c.readsBack) << c.value->toString();
    }
}

TEST(ZarnStringTest, RawLiteralFormRule)
{
    for (const char* text : {"plain", "a)b", "))"})
        EXPECT_TRUE(hasRawLiteralForm(text)) << text;
    for (const char* text : {")", ")))", "x)\"y"})
        EXPECT_FALSE(hasRawLiteralForm(text)) << text;
}

TEST(ZarnStringTest, FinalMarkTravelsWithTheText)
{
    auto value = finalStr("a#1 b");
    EXPECT_TRUE(isFinalText(*value->clone()));
    EXPECT_TRUE(isFinalText(*Zarn::begin(value)->current()));
    EXPECT_TRUE(isFinalText(*value->add(*num(1))));
    EXPECT_TRUE(isFinalText(*value->add(*finalStr("c"))));
    // Unexpanded text mixed in makes the whole text expandable again.
    EXPECT_FALSE(isFinalText(*value->add(*str("${c}"))));
    EXPECT_FALSE(isFinalText(*str("x")));
    value->append(*str("${c}"));
    EXPECT_FALSE(isFinalText(*value));
}
