#include <gtest/gtest.h>

#include <random>
#include <string>

#include "types/value_kind.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_string.h"

using namespace Zarn;

namespace {

// A string whose expansion the test can call directly.
class ExpandableString : public ZarnString {
public:
    using ZarnString::ZarnString;
    using ZarnString::expand;
};

// The kind, text and final mark of a value.
std::string describe(const ZarnValuePtr& value)
{
    const auto* string = valueAs<const ZarnBaseString>(value.get());
    return value->typeName() + " <" + value->toString() + ">" + (string && string->isFinal() ? " final" : "");
}

// The value described, or the error's message.
template <class Action>
std::string outcome(Action action)
{
    try {
        return describe(action());
    } catch (const ZarnException& error) {
        return "error: " + error.getMessage();
    } catch (const std::exception& error) {
        return std::string("error: ") + error.what();
    }
}

// Resolving takes a short way for a text without references; it must give
// what the expansion gives, and leave the string as the expansion leaves it.
void expectResolveAsExpand(const std::string& text)
{
    ExpandableString quick(text);
    ExpandableString general(text);
    EXPECT_EQ(outcome([&] { return quick.resolve(); }), outcome([&] { return general.expand(); })) << text;
    EXPECT_EQ(quick.toString(), general.toString()) << text;
    EXPECT_EQ(quick.isFinal(), general.isFinal()) << text;
}

}  // namespace

TEST(StringResolve, TextWithoutReferencesResolvesAsItsExpansion)
{
    for (const char* text : {"", "plain", "cp a out/z1.txt", "braces {} and } {", "unicode \xC3\xA9", "a\nb",
                             "dollar at the end $", "hash #", "marker \x1A here", "${", "#{x}"})
        expectResolveAsExpand(text);
    std::mt19937 random(5);
    const std::string pieces[] = {"a", " ", "{", "}", "/", ".", "\\", "\"", "(", ")", "*", "?", "%", "@"};
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (int k = std::uniform_int_distribution<int>(0, 12)(random); k > 0; --k)
            text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
        expectResolveAsExpand(text);
    }
}
