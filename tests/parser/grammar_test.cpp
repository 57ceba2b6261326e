// Accept/reject table over the four start rules, with the tree shape where the
// visitors depend on it.

#include <gtest/gtest.h>

#include <string>

#include "parser/parse_run.h"

namespace {

using ParserTest::StartRule;
constexpr StartRule kUnit = StartRule::Unit;
constexpr StartRule kProject = StartRule::Project;
constexpr StartRule kRegistry = StartRule::Registry;
constexpr StartRule kAssignment = StartRule::Assignment;

struct ParseCase {
    StartRule rule;
    const char* text;
    bool accepted;
    const char* expect;  // accepted: the whole tree, or "" to skip; rejected: part of the first message
};

class GrammarTable : public ::testing::TestWithParam<ParseCase> { };

TEST_P(GrammarTable, AcceptsOrRejects)
{
    const ParseCase& c = GetParam();
    SCOPED_TRACE(c.text);
    ParserTest::ParseRun run(c.text);
    const std::string tree = run.tree(c.rule);
    EXPECT_TRUE(run.lexerErrors.messages.empty());
    const std::vector<std::string>& errors = run.parserErrors.messages;
    EXPECT_EQ(run.parser.getNumberOfSyntaxErrors(), errors.size());
    if (c.accepted) {
        EXPECT_TRUE(errors.empty()) << errors.front();
        if (*c.expect) {
            EXPECT_EQ(tree, c.expect);
        }
    } else {
        ASSERT_FALSE(errors.empty()) << tree;
        EXPECT_NE(errors.front().find(c.expect), std::string::npos) << errors.front();
    }
}

INSTANTIATE_TEST_SUITE_P(
    UnitFile, GrammarTable,
    ::testing::Values(
        ParseCase {kUnit, "", true, "(unitFile zarnUnit <EOF>)"},
        ParseCase {kUnit, "unit core\nbuild : {}", true,
                   "(unitFile (zarnUnit (unit_name unit core) (target build : (context { }))) <EOF>)"},
        ParseCase {kUnit, "t : p/u::x u::x x {}", true,
                   "(unitFile (zarnUnit (target t :"
                   " (dependency (dependency_identifier (direct_dependency p / u :: x)))"
                   " (dependency (dependency_identifier (direct_dependency u :: x)))"
                   " (dependency (dependency_identifier (direct_dependency x))) (context { }))) <EOF>)"},
        ParseCase {kUnit, "a(x, y): +lib::core(., z) => c @deps(v.w) +> d {}", true,
                   "(unitFile (zarnUnit (target a ( (parameter_name x) , (parameter_name y) ) :"
                   " (dependency (dependency_modifier +) (dependency_identifier"
                   " (direct_dependency lib :: core)) ( (dependency_parameter .) ,"
                   " (dependency_parameter (identifier (segment z))) ) (dependency_alias =>) c)"
                   " (dependency (dependency_identifier (dependency_macro @ (identifier (segment deps))))"
                   " ( (dependency_parameter (identifier (segment v) . (segment w))) ) (dependency_alias +>) d)"
                   " (context { }))) <EOF>)"},
        ParseCase {kUnit,
                   "t : { a b = 1 c += \"s\" d ?= R\"(r)\" ^e = P\"(p)\" !f = x.y g = [] h = [1, [2]] i = { j = 1 }"
                   " Name = -3 if os = linux { a = 1 } if debug { } if x != 1 {} if x < 1 {} if x > 1 {} }",
                   true, ""},
        // A block after a comparison operator is the operand; the next block is the body.
        ParseCase {kUnit, "t : { if x = { y = 1 } { z = 2 } }", true,
                   "(unitFile (zarnUnit (target t : (context { (cond_context (condition if"
                   " (bool_expr (identifier (segment x)) (bool_operator =) (valueNode (context {"
                   " (assignment y (assign_operator =) (valueNode 1)) }))))"
                   " (context { (assignment z (assign_operator =) (valueNode 2)) })) }))) <EOF>)"},
        ParseCase {kUnit, "t : { if x = { y = 1 } z = 2 }", false, "missing '{' at 'z'"},
        ParseCase {kUnit, "a(): {}", false, "missing IDENTIFIER at ')'"},
        ParseCase {kUnit, "t : a/b {}", false, "expecting '::'"},
        ParseCase {kUnit, "t : { if x >= 1 {} }", false, "extraneous input '='"},
        ParseCase {kUnit, "t : { x = [1,] }", false, ""}, ParseCase {kUnit, "a:", false, ""},
        ParseCase {kUnit, "t {}", false, ""}, ParseCase {kUnit, "t : {} unit x", false, ""},
        ParseCase {kUnit, "t : { name = 1 }", false, ""}, ParseCase {kUnit, "t : { a.b = 1 }", false, ""}));

INSTANTIATE_TEST_SUITE_P(
    ProjectFile, GrammarTable,
    ::testing::Values(
        ParseCase {kProject, "", true, "(projFile zarnProject <EOF>)"},
        ParseCase {kProject, "import { dev: \"../lib\" lib (release); other; \"x\"; }", true,
                   "(projFile (zarnProject (proj_import_section import {"
                   " (proj_import (proj_path_import (proj_source_profile dev :) \"../lib\" lib"
                   " (proj_import_profile ( release )) ;)) (proj_import (proj_registry_import other ;))"
                   " (proj_import (proj_path_import \"x\" ;)) })) <EOF>)"},
        ParseCase {kProject,
                   "name demo import { p: q (r); } tools { gcc { !cc = \"gcc\" } }"
                   " units { app { \"a.txt\" \"b.txt\" } lib { } } profiles { release { opt = 2 if x { } } }",
                   true, ""},
        ParseCase {kProject, "import { dev:; }", false, "no viable alternative at input 'dev:;'"},
        ParseCase {kProject, "profiles { }\n}", false, "extraneous input '}' expecting <EOF>"},
        ParseCase {kProject, "units {} name x", false, ""}, ParseCase {kProject, "units {} units {}", false, ""},
        ParseCase {kProject, "units { app { x } }", false, ""}));

INSTANTIATE_TEST_SUITE_P(
    RegistryFile, GrammarTable,
    ::testing::Values(
        ParseCase {kRegistry, "", true, "(registryFile zarnRegistry <EOF>)"},
        // A location is always a path, never a url.
        ParseCase {kRegistry, "projects { lib \"/src/lib\" }", true,
                   "(registryFile (zarnRegistry (projects projects { (project lib (uri (path \"/src/lib\"))) }))"
                   " <EOF>)"},
        ParseCase {kRegistry, "projects { a \"x\" b \"y\" } tools { gcc { !cc = \"gcc\" if x { } } t2 { } }", true,
                   ""},
        ParseCase {kRegistry, "tools {} projects {}", false, "mismatched input 'projects' expecting <EOF>"},
        ParseCase {kRegistry, "projects { lib }", false, ""}, ParseCase {kRegistry, "name x", false, ""}));

INSTANTIATE_TEST_SUITE_P(
    Assignment, GrammarTable,
    ::testing::Values(
        ParseCase {kAssignment, "a", true, "(assignment a)"},
        // No EOF in this start rule: what follows one assignment is ignored.
        ParseCase {kAssignment, "a = 1 b=2", true, "(assignment a (assign_operator =) (valueNode 1))"},
        ParseCase {kAssignment, "^a += x", true,
                   "(assignment (assignment_modifier ^) a (assign_operator +=) (valueNode (identifier (segment x))))"},
        ParseCase {kAssignment, "!a ?= [\"x\", P\"(p)\", [], { b = 1 if c { d } }]", true, ""},
        // An identifier followed by "[" is an indexed reference, not a list.
        ParseCase {kAssignment, "x = y.z [1][2:3][k][R\"(.*)\"]", true,
                   "(assignment x (assign_operator =) (valueNode (identifier (segment y) ."
                   " (segment z (index [ (indexExpr 1) ]) (index [ (indexExpr (range 2 : 3)) ])"
                   " (index [ (indexExpr (identifier (segment k))) ]) (index [ (indexExpr (regex R\"(.*)\")) ])))))"},
        ParseCase {kAssignment, "", false, ""}, ParseCase {kAssignment, "= 1", false, ""},
        ParseCase {kAssignment, "a =", false, ""}, ParseCase {kAssignment, "name = 1", false, ""}));

// A lexer error alone leaves the parse clean: the bad text is simply gone.
TEST(Grammar, LexerErrorsAreNotSyntaxErrors)
{
    ParserTest::ParseRun run("a ?");
    EXPECT_EQ(run.tree(StartRule::Assignment), "(assignment a)");
    EXPECT_EQ(run.parser.getNumberOfSyntaxErrors(), 0u);
    EXPECT_EQ(run.lexerErrors.messages, std::vector<std::string> {"1:2 token recognition error at: '?'"});
}

// Recovery still yields a tree to the end of the input.
TEST(Grammar, RecoveryReturnsATree)
{
    ParserTest::ParseRun run("a : { x = } b : {}");
    ZarnTopParser::UnitFileContext* file = run.parser.unitFile();
    EXPECT_GT(run.parser.getNumberOfSyntaxErrors(), 0u);
    ASSERT_NE(file->zarnUnit(), nullptr);
    EXPECT_NE(file->EOF(), nullptr);
}

}  // namespace
