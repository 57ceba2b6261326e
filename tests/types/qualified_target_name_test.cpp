#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

using Zarn::QualifiedTargetName;

TEST(QualifiedTargetName, Parse)
{
    struct Case {
        const char* text;
        const char* project;
        const char* unit;
        const char* target;
    };
    const Case cases[] = {
        {"t", "", "", "t"},
        {"u::t", "", "u", "t"},
        {"p/u::t", "p", "u", "t"},
        {"p/q/u::t", "p", "q/u", "t"},
        {"u::t::x", "", "u", "t::x"},
        {"::t", "", "", "t"},
        {"p/::", "p", "", ""},
        {"a/b", "", "", "a/b"},  // no "::": all of it is the target
        {" u :: t ", "", " u ", " t "},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        QualifiedTargetName name = QualifiedTargetName::parse(c.text);
        EXPECT_EQ(name.project, c.project) << c.text;
        EXPECT_EQ(name.unit, c.unit) << c.text;
        EXPECT_EQ(name.target, c.target) << c.text;
    }
}

TEST(QualifiedTargetName, ToStringWritesAllParts)
{
    EXPECT_EQ(QualifiedTargetName("", "", "t").toString(), "/::t");
    EXPECT_EQ(QualifiedTargetName("p", "u", "t").toString(), "p/u::t");
    EXPECT_EQ(QualifiedTargetName().toString(), "/::");
}
