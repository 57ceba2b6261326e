// Accept/reject table over the four start rules, with the tree shape where the
// visitors depend on it.

#include <gtest/gtest.h>

#include <string>

#include "parser/parse_run.h"

namespace {

using ParserTest::StartRule;

struct ParseCase {
    StartRule rule;
    const char* text;
    bool accepted;
    const char* expect;  // accepted: the whole tree, or "" to skip; rejected: part of the first message
};

std::ostream& operator<<(std::ostream& out, const ParseCase& c)
{
    return out << ParserTest::startRuleName(c.rule) << ": " << c.text;
}

class GrammarTable : public ::testing::TestWithParam<ParseCase> { };

TEST_P(GrammarTable, AcceptsOrRejects)
{
    const ParseCase& c = GetParam();
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
    ::testing::Values(ParseCase {StartRule::Unit, "", true, "(unitFile zarnUnit <EOF>)"},
                      ParseCase {StartRule::Unit, "// only\n/* comments */", true, "(unitFile zarnUnit <EOF>)"},
                      ParseCase {StartRule::Unit, "unit core\nbuild : {}", true,
                                 "(unitFile (zarnUnit (unit_name unit core) (target build : (context { }))) <EOF>)"},
                      ParseCase {StartRule::Unit, "t : p/u::x u::x x {}", true,
                                 "(unitFile (zarnUnit (target t :"
                                 " (dependency (dependency_identifier (direct_dependency p / u :: x)))"
                                 " (dependency (dependency_identifier (direct_dependency u :: x)))"
                                 " (dependency (dependency_identifier (direct_dependency x)))"
                                 " (context { }))) <EOF>)"},
                      ParseCase {StartRule::Unit, "a(x, y): +lib::core(., z) => c @deps(v.w) +> d {}", true,
                                 "(unitFile (zarnUnit (target a ( (parameter_name x) , (parameter_name y) ) :"
                                 " (dependency (dependency_modifier +) (dependency_identifier"
                                 " (direct_dependency lib :: core)) ( (dependency_parameter .) ,"
                                 " (dependency_parameter (identifier (segment z))) ) (dependency_alias =>) c)"
                                 " (dependency (dependency_identifier (dependency_macro @ (identifier (segment deps))))"
                                 " ( (dependency_parameter (identifier (segment v) . (segment w))) )"
                                 " (dependency_alias +>) d)"
                                 " (context { }))) <EOF>)"},
                      ParseCase {StartRule::Unit, "a : {} b : a {}", true, ""},
                      ParseCase {StartRule::Unit,
                                 "t : { a b = 1 c += \"s\" d ?= R\"(r)\" ^e = P\"(p)\" !f = x.y g = [] "
                                 "h = [1, [2]] i = { j = 1 } Name = -3 }",
                                 true, ""},
                      ParseCase {StartRule::Unit,
                                 "t : { if os = linux { a = 1 } if debug { } if x != 1 {} if x < 1 {} if x > 1 {} }",
                                 true, ""},
                      // A block after a comparison operator is the operand; the next block is the body.
                      ParseCase {StartRule::Unit, "t : { if x = { y = 1 } { z = 2 } }", true,
                                 "(unitFile (zarnUnit (target t : (context { (cond_context (condition if"
                                 " (bool_expr (identifier (segment x)) (bool_operator =) (valueNode (context {"
                                 " (assignment y (assign_operator =) (valueNode 1)) }))))"
                                 " (context { (assignment z (assign_operator =) (valueNode 2)) })) }))) <EOF>)"},
                      ParseCase {StartRule::Unit, "t : { if x = { y = 1 } z = 2 }", false, "missing '{' at 'z'"},
                      ParseCase {StartRule::Unit, "a(): {}", false, "missing IDENTIFIER at ')'"},
                      ParseCase {StartRule::Unit, "t : { x = [1,] }", false, ""},
                      ParseCase {StartRule::Unit, "a:", false, ""}, ParseCase {StartRule::Unit, "t {}", false, ""},
                      ParseCase {StartRule::Unit, "t : {} unit x", false, ""},
                      ParseCase {StartRule::Unit, "t : { name = 1 }", false, ""},
                      ParseCase {StartRule::Unit, "t : { tools = 1 }", false, ""},
                      ParseCase {StartRule::Unit, "t : { a.b = 1 }", false, ""},
                      ParseCase {StartRule::Unit, "t : a/b {}", false, "expecting '::'"},
                      ParseCase {StartRule::Unit, "t : { if x >= 1 {} }", false, "extraneous input '='"}));

INSTANTIATE_TEST_SUITE_P(
    ProjectFile, GrammarTable,
    ::testing::Values(ParseCase {StartRule::Project, "", true, "(projFile zarnProject <EOF>)"},
                      ParseCase {StartRule::Project, "import { dev: \"../lib\" lib (release); other; \"x\"; }", true,
                                 "(projFile (zarnProject (proj_import_section import {"
                                 " (proj_import (proj_path_import (proj_source_profile dev :) \"../lib\" lib"
                                 " (proj_import_profile ( release )) ;))"
                                 " (proj_import (proj_registry_import other ;))"
                                 " (proj_import (proj_path_import \"x\" ;)) })) <EOF>)"},
                      ParseCase {StartRule::Project,
                                 "name demo import { p: q (r); } tools { gcc { !cc = \"gcc\" } }"
                                 " units { app { \"a.txt\" \"b.txt\" } lib { } }"
                                 " profiles { release { opt = 2 if x { } } }",
                                 true, ""},
                      ParseCase {StartRule::Project, "units {} name x", false, ""},
                      ParseCase {StartRule::Project, "name a name b", false, ""},
                      ParseCase {StartRule::Project, "units {} units {}", false, ""},
                      ParseCase {StartRule::Project, "import { dev:; }", false,
                                 "no viable alternative at input 'dev:;'"},
                      ParseCase {StartRule::Project, "profiles { }\n}", false, "extraneous input '}' expecting <EOF>"},
                      ParseCase {StartRule::Project, "units { app { x } }", false, ""}));

INSTANTIATE_TEST_SUITE_P(
    RegistryFile, GrammarTable,
    ::testing::Values(
        ParseCase {StartRule::Registry, "", true, "(registryFile zarnRegistry <EOF>)"},
        // A location is always a path, never a url.
        ParseCase {StartRule::Registry, "projects { lib \"/src/lib\" }", true,
                   "(registryFile (zarnRegistry (projects projects {"
                   " (project lib (uri (path \"/src/lib\"))) })) <EOF>)"},
        ParseCase {StartRule::Registry, "projects { a \"x\" b \"y\" } tools { gcc { !cc = \"gcc\" if x { } } t2 { } }",
                   true, ""},
        ParseCase {StartRule::Registry, "tools {} projects {}", false, "mismatched input 'projects' expecting <EOF>"},
        ParseCase {StartRule::Registry, "projects { lib }", false, ""},
        ParseCase {StartRule::Registry, "name x", false, ""}));

INSTANTIATE_TEST_SUITE_P(
    Assignment, GrammarTable,
    ::testing::Values(
        ParseCase {StartRule::Assignment, "a = 1", true, "(assignment a (assign_operator =) (valueNode 1))"},
        ParseCase {StartRule::Assignment, "a", true, "(assignment a)"},
        // No EOF in this start rule: what follows one assignment is ignored.
        ParseCase {StartRule::Assignment, "a = 1 b", true, "(assignment a (assign_operator =) (valueNode 1))"},
        ParseCase {StartRule::Assignment, "a=1 b=2", true, "(assignment a (assign_operator =) (valueNode 1))"},
        ParseCase {StartRule::Assignment, "^a += x", true,
                   "(assignment (assignment_modifier ^) a (assign_operator +=)"
                   " (valueNode (identifier (segment x))))"},
        ParseCase {StartRule::Assignment, "!a ?= \"s\"", true, ""},
        // An identifier followed by "[" is an indexed reference, not a list.
        ParseCase {StartRule::Assignment, "x = y.z [1][2:3][k][R\"(.*)\"]", true,
                   "(assignment x (assign_operator =) (valueNode (identifier (segment y) ."
                   " (segment z (index [ (indexExpr 1) ]) (index [ (indexExpr (range 2 : 3)) ])"
                   " (index [ (indexExpr (identifier (segment k))) ])"
                   " (index [ (indexExpr (regex R\"(.*)\")) ])))))"},
        ParseCase {StartRule::Assignment, "a = { b = 1 if c { d } }", true, ""},
        ParseCase {StartRule::Assignment, "a = [\"x\", P\"(p)\", [], {}]", true, ""},
        ParseCase {StartRule::Assignment, "", false, ""}, ParseCase {StartRule::Assignment, "= 1", false, ""},
        ParseCase {StartRule::Assignment, "a =", false, ""}, ParseCase {StartRule::Assignment, "a +=", false, ""},
        ParseCase {StartRule::Assignment, "name = 1", false, ""},
        ParseCase {StartRule::Assignment, "a = [1,]", false, ""}));

// A lexer error alone leaves the parse clean: the bad text is simply gone.
TEST(Grammar, LexerErrorsAreNotSyntaxErrors)
{
    ParserTest::ParseRun run("a ?");
    EXPECT_EQ(run.tree(StartRule::Assignment), "(assignment a)");
    EXPECT_EQ(run.parser.getNumberOfSyntaxErrors(), 0u);
    EXPECT_EQ(run.lexerErrors.messages.size(), 1u);
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
