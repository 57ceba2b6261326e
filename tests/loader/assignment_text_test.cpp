#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "loader/assignment_text.h"
#include "loader/input_text.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_path_string.h"
#include "types/zarn_value_types.h"

namespace {

std::string failure(const std::string& text)
{
    try {
        parseAssignmentText(text, ".");
    } catch (const std::exception& error) {
        return error.what();
    } catch (const Zarn::ZarnException& error) {
        return "Zarn: " + error.getMessage();
    }
    return "(no error)";
}

}  // namespace

TEST(AssignmentText, ParsesOneAssignment)
{
    auto set = parseAssignmentText("a = 1", ".");
    EXPECT_EQ(set.name, "a");
    EXPECT_EQ(set.type, Zarn::Assignment::Set);
    EXPECT_EQ(set.flags, 0u);
    ASSERT_TRUE(set.value);
    EXPECT_EQ(set.value->typeName(), "ZarnInt");
    EXPECT_EQ(set.value->toString(), "1");

    auto declared = parseAssignmentText("a", ".");
    EXPECT_EQ(declared.type, Zarn::Assignment::Declare);
    EXPECT_FALSE(declared.value);

    EXPECT_EQ(parseAssignmentText("^out = \"x\"", ".").flags, 1u);
}

TEST(AssignmentText, TrailingTextIsIgnored)
{
    auto assignment = parseAssignmentText("a = 1 b", ".");
    EXPECT_EQ(assignment.name, "a");
    EXPECT_EQ(assignment.value->toString(), "1");
    // Only as many characters as the length says are read.
    const char text[] = "x = 12345";
    EXPECT_EQ(parseAssignmentText(text, 6, ".").value->toString(), "12");
}

TEST(AssignmentText, SyntaxAndVisitErrors)
{
    const std::string syntax = "Parsing assignment failed due to syntax errors.";
    EXPECT_EQ(failure(""), syntax);
    EXPECT_EQ(failure("= 1"), syntax);
    EXPECT_EQ(failure("a ="), syntax);
    EXPECT_EQ(failure("a +="), syntax);
    EXPECT_EQ(failure("!a = 1"), "'!' assignment modifier is not allowed in this context.");
    EXPECT_EQ(failure("n = 99999999999"), "stoi");
}

TEST(AssignmentText, BareReferenceBecomesText)
{
    auto reference = parseAssignmentText("x = y.z[1]", ".");
    ASSERT_TRUE(reference.value);
    EXPECT_EQ(reference.value->typeName(), "ZarnString");
    EXPECT_EQ(reference.value->toString(), "y.z[1]");
    EXPECT_FALSE(reference.resolved);
    // Only at the top: references inside a list stay references.
    auto list = parseAssignmentText("x = [y, \"${y}\"]", ".");
    EXPECT_EQ(list.value->typeName(), "ZarnList");
    EXPECT_EQ(dynamic_cast<Zarn::ZarnList&>(*list.value).getMembers().at(0)->typeName(), "ZarnIdentifier");
    EXPECT_EQ(dynamic_cast<Zarn::ZarnList&>(*list.value).getMembers().at(1)->toString(), "${y}");
}

TEST(AssignmentText, PathLiteralsCarryTheBaseDirectory)
{
    auto assignment = parseAssignmentText(R"~(p = P"(out/a.o)")~", "/work");
    auto* path = dynamic_cast<Zarn::ZarnPathString*>(assignment.value.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->getBaseDirectory(), "/work");
    EXPECT_EQ(path->toString(), "out/a.o");
    // The short form is no path literal here.
    EXPECT_EQ(parseAssignmentText("p = P\"x\"", ".").value->toString(), "P");
}

TEST(AssignmentText, BlockValueBecomesAContext)
{
    auto assignment = parseAssignmentText("c = { a = 1 }", ".");
    EXPECT_EQ(assignment.value->typeName(), "ZarnContext");
}

TEST(AssignmentText, InvalidUtf8IsTheModelsError)
{
    EXPECT_EQ(failure("a = \"caf\xE9\""), "Zarn: Unable to read assignment: the text is not valid UTF-8.");
    EXPECT_EQ(parseAssignmentText("a = \"caf\xC3\xA9\"", ".").value->toString(), "caf\xC3\xA9");
}

TEST(AssignmentText, DeepestAllowedNestingParsesAndVisits)
{
    const std::size_t depth = Zarn::maxNestingDepth;
    std::string lists = "a = ";
    std::string blocks = "a = ";
    std::string indexes = "a = x";
    for (std::size_t i = 0; i < depth; ++i) {
        lists += "[";
        blocks += "{ b = ";
        indexes += "[x";
    }
    blocks += "1";
    for (std::size_t i = 0; i < depth; ++i) {
        lists += "]";
        blocks += "}";
        indexes += "]";
    }
    EXPECT_EQ(parseAssignmentText(lists, ".").value->typeName(), "ZarnList");
    EXPECT_EQ(parseAssignmentText(blocks, ".").value->typeName(), "ZarnContext");
    EXPECT_EQ(parseAssignmentText(indexes, ".").value->typeName(), "ZarnString");
    EXPECT_EQ(failure(lists.substr(0, 4) + "[" + lists.substr(4)),
              "Zarn: Unable to read assignment: blocks and lists are nested deeper than 256 levels.");
}
