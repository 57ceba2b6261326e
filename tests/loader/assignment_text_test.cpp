#include <gtest/gtest.h>

#include "loader/assignment_text.h"
#include "test_support.h"
#include "types/zarn_value_types.h"

using namespace TestSupport;

TEST(AssignmentText, Results)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a = 1", "1/0 a=ZarnInt 1"},
        {"a", "4/0 a=(none)"},
        {"^out = \"x\"", "1/1 out=ZarnString x"},
        // Only a bare reference at the top becomes text; those in a list stay references.
        {"x = y.z[1]", "1/0 x=ZarnString y.z[1]"},
        {"x += [y, \"${y}\"]", "2/0 x=ZarnList y ${y}"},
        {"p ?= P\"x\"", "3/0 p=ZarnString P"},  // the short form is no path literal here
        {"c = { a = 1 }", "1/0 c=ZarnContext a"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(summary(parseAssignmentText(text, ".")), expected) << text;
    EXPECT_EQ(summary(parseAssignmentText(R"~(p = P"(out/a.o)")~", "/work")), "1/0 p=ZarnString out/a.o @/work");
    // Only as many characters as the length says are read.
    EXPECT_EQ(describe(parseAssignmentText("x = 12345", 6, ".").value), "ZarnInt 12");
    auto list = parseAssignmentText("x = [y]", ".").value;
    EXPECT_EQ(describe(dynamic_cast<Zarn::ZarnList&>(*list).getMembers().at(0)), "ZarnIdentifier y");
}

TEST(AssignmentText, Errors)
{
    // A character without a token fails too, also after the assignment.
    for (const char* text : {"", "a +=", "flags=-O0", "a = $x", "a = 1 ~", "a = \"x\" `"})
        EXPECT_EQ(messageOf<std::runtime_error>([&] { parseAssignmentText(text, "."); }),
                  "Parsing assignment failed due to syntax errors.")
            << text;
    EXPECT_EQ(messageOf<std::runtime_error>([] { parseAssignmentText("!a = 1", "."); }),
              "'!' assignment modifier is not allowed in this context.");
    EXPECT_EQ(messageOf<std::out_of_range>([] { parseAssignmentText("n = 99999999999", "."); }), "stoi");
    EXPECT_EQ(messageOf<Zarn::ZarnException>([] { parseAssignmentText("a = \"caf\xE9\"", "."); }),
              "Unable to read assignment: the text is not valid UTF-8.");
}

TEST(AssignmentText, DeepestAllowedNestingParsesAndVisits)
{
    std::string lists = "a = ", blocks = "a = ", indexes = "a = x";
    for (std::size_t i = 0; i < Zarn::maxNestingDepth; ++i) {
        lists.insert(4, "[");
        lists += "]";
        blocks.insert(4, "{ b = ");
        blocks += "}";
        indexes.insert(5, "[x");
        indexes += "]";
    }
    blocks.insert(blocks.find('}'), "1");
    EXPECT_EQ(parseAssignmentText(lists, ".").value->typeName(), "ZarnList");
    EXPECT_EQ(parseAssignmentText(blocks, ".").value->typeName(), "ZarnContext");
    EXPECT_EQ(parseAssignmentText(indexes, ".").value->typeName(), "ZarnString");
    EXPECT_EQ(messageOf<Zarn::ZarnException>([&] { parseAssignmentText("a = [" + lists.substr(4), "."); }),
              "Unable to read assignment: blocks and lists are nested deeper than 256 levels.");
}
