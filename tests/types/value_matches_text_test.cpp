#include "types/value_matches_text.h"

#include "types_test_support.h"

using namespace TypesTestSupport;

TEST(ValueMatchesTextTest, ComparesTextsIgnoringCaseAndSearchesListsAtEveryDepth)
{
    EXPECT_FALSE(valueMatchesText(nullptr, ""));
    EXPECT_TRUE(valueMatchesText(num(12), "12"));
    EXPECT_TRUE(valueMatchesText(str("Gcc"), Util::CiString("GCC")));
    EXPECT_FALSE(valueMatchesText(list({}), ""));
    ZarnValuePtr nested = list({str("a"), list({nullptr, list({str("b")})})});
    EXPECT_TRUE(valueMatchesText(nested, "B"));
    EXPECT_FALSE(valueMatchesText(nested, "a b"));  // members, not the joined text
}
