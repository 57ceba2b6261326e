#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

using Zarn::QualifiedTargetName;

TEST(QualifiedTargetName, ParseSplitsAtTheFirstSeparatorsAndTrimsNothing)
{
    const struct { const char *text, *project, *unit, *target; } cases[] = {
        {"t", "", "", "t"},           {"p/q/u::t", "p", "q/u", "t"}, {"u::t::x", "", "u", "t::x"},
        {"::t", "", "", "t"},         {"a/b", "", "", "a/b"},        {" u :: t ", "", " u ", " t "},
    };
    for (const auto& c : cases) {
        QualifiedTargetName name = QualifiedTargetName::parse(c.text);
        EXPECT_EQ(name.project + "|" + name.unit + "|" + name.target,
                  std::string(c.project) + "|" + c.unit + "|" + c.target) << c.text;
    }
    EXPECT_EQ(QualifiedTargetName("", "", "t").toString(), "/::t");
    EXPECT_EQ(QualifiedTargetName("p", "u", "t").toString(), "p/u::t");
}
