#include "types/nesting_limit.h"

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

namespace {

// A list inside a list, `levels` times, around the text "x".
ZarnValuePtr nestedLists(unsigned levels)
{
    ZarnValuePtr value = str("x");
    for (unsigned i = 0; i < levels; ++i)
        value = list({str("a"), value});
    return value;
}

TEST(ValueDepth, CountsListsAndBlocksInsideEachOther)
{
    const std::pair<ZarnValuePtr, unsigned> cases[] = {
        {str("x"), 0},
        {integer(1), 0},
        {list({}), 1},
        {strings({"a", "b"}), 1},
        {block({}), 1},
        {block({set("a", strings({"x"})), set("b", str("y"))}), 2},
        {list({block({set("l", list({list({})}))}), str("z")}), 4},
        {nestedLists(maxValueDepth), maxValueDepth},
    };
    for (const auto& [value, depth] : cases)
        EXPECT_EQ(valueDepth(*value), depth) << value->toString();
}

TEST(ValueDepth, StopsLookingPastTheLimit)
{
    EXPECT_GT(valueDepth(*nestedLists(maxValueDepth + 1)), maxValueDepth);
    EXPECT_EQ(valueDepth(*nestedLists(5), 3), 4u);
    EXPECT_EQ(valueDepth(*nestedLists(5), 0), 1u);
}

}  // namespace
