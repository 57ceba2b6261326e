#include "types/value_matches_text.h"

#include <gtest/gtest.h>

#include "types/ci_string.h"
#include "context_test_support.h"

using namespace Zarn;
using namespace ContextTestSupport;

namespace {

TEST(ValueMatchesTextTest, ComparesTextsIgnoringCase)
{
    EXPECT_FALSE(valueMatchesText(nullptr, ""));
    EXPECT_TRUE(valueMatchesText(integer(12), "12"));
    EXPECT_TRUE(valueMatchesText(str("Gcc"), Util::CiString("GCC")));
    EXPECT_FALSE(valueMatchesText(str("gcc"), "g++"));
    EXPECT_FALSE(valueMatchesText(list({}), ""));
}

TEST(ValueMatchesTextTest, SearchesListsAtEveryDepth)
{
    ZarnValuePtr nested = list({str("a"), list({str("x"), list({str("b")})})});
    EXPECT_TRUE(valueMatchesText(nested, "B"));
    EXPECT_TRUE(valueMatchesText(nested, "a"));
    EXPECT_FALSE(valueMatchesText(nested, "a x b"));  // members, not the joined text
    EXPECT_FALSE(valueMatchesText(list({nullptr, str("c")}), "d"));
}

}  // namespace
