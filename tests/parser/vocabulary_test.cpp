// The token types, names and rule indexes are part of the language's contract:
// the visitors and the error messages depend on them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/parse_run.h"

namespace {

struct TokenRow {
    size_t type;
    const char* symbolic;
    const char* literal;  // empty when the token has no literal name
};

const std::vector<TokenRow> kTokens = {
    {1, "WS", ""},
    {2, "LINE_COMMENT", ""},
    {3, "BLOCK_COMMENT", ""},
    {4, "COLON", "':'"},
    {5, "DCOLON", "'::'"},
    {6, "ALIAS", "'=>'"},
    {7, "MERGE_ALIAS", "'+>'"},
    {8, "LBRACE", "'{'"},
    {9, "RBRACE", "'}'"},
    {10, "LBRACKET", "'('"},
    {11, "RBRACKET", "')'"},
    {12, "EQUALS", "'='"},
    {13, "NEQUALS", "'!='"},
    {14, "GREATER", "'>'"},
    {15, "LESSER", "'<'"},
    {16, "APPEND", "'+='"},
    {17, "ASSIGNEMPTY", nullptr},  // spelling depends on the tool
    {18, "STRING", ""},
    {19, "RAW_STRING", ""},
    {20, "PATH_STRING", ""},
    {21, "NUMBER", ""},
    {22, "LSQUARE", "'['"},
    {23, "RSQUARE", "']'"},
    {24, "PLUS", "'+'"},
    {25, "AT", "'@'"},
    {26, "UP", "'^'"},
    {27, "MUST", "'!'"},
    {28, "SLASH", "'/'"},
    {29, "COMMA", "','"},
    {30, "DOT", "'.'"},
    {31, "SEMICOLON", "';'"},
    {32, "UNIT_STR", "'unit'"},
    {33, "IF_STR", "'if'"},
    {34, "IMPORT_STR", "'import'"},
    {35, "UNITS_STR", "'units'"},
    {36, "PROFILES_STR", "'profiles'"},
    {37, "PROJECTS_STR", "'projects'"},
    {38, "TOOLS_STR", "'tools'"},
    {39, "NAME_STR", "'name'"},
    {40, "IDENTIFIER", ""},
};

TEST(Vocabulary, TokenTypesAndNamesOfLexerAndParser)
{
    ParserTest::ParseRun run("");
    const antlr4::dfa::Vocabulary& lexerVocabulary = run.lexer.getVocabulary();
    const antlr4::dfa::Vocabulary& parserVocabulary = run.parser.getVocabulary();
    ASSERT_EQ(lexerVocabulary.getMaxTokenType(), 40u);
    ASSERT_EQ(parserVocabulary.getMaxTokenType(), 40u);
    for (const TokenRow& row : kTokens) {
        SCOPED_TRACE(row.symbolic);
        EXPECT_EQ(lexerVocabulary.getSymbolicName(row.type), row.symbolic);
        EXPECT_EQ(parserVocabulary.getSymbolicName(row.type), row.symbolic);
        EXPECT_EQ(parserVocabulary.getLiteralName(row.type), lexerVocabulary.getLiteralName(row.type));
        if (row.literal) {
            EXPECT_EQ(lexerVocabulary.getLiteralName(row.type), row.literal);
            std::string display = *row.literal ? row.literal : row.symbolic;
            EXPECT_EQ(lexerVocabulary.getDisplayName(row.type), display);
        }
    }
    const std::string assignEmpty = lexerVocabulary.getLiteralName(CommonLexer::ASSIGNEMPTY);
    EXPECT_TRUE(assignEmpty == "'?='" || assignEmpty == "'\\u003F='") << assignEmpty;
}

TEST(Vocabulary, LexerRulesChannelsAndModes)
{
    ParserTest::ParseRun run("");
    const std::vector<std::string>& rules = run.lexer.getRuleNames();
    ASSERT_EQ(rules.size(), 41u);
    for (const TokenRow& row : kTokens)
        EXPECT_EQ(rules[row.type - 1], row.symbolic);
    EXPECT_EQ(rules[40], "RAW_CONTENT");
    EXPECT_EQ(run.lexer.getChannelNames(), (std::vector<std::string> {"DEFAULT_TOKEN_CHANNEL", "HIDDEN"}));
    EXPECT_EQ(run.lexer.getModeNames(), std::vector<std::string> {"DEFAULT_MODE"});
    EXPECT_EQ(run.lexer.getGrammarFileName(), "CommonLexer.g4");
    EXPECT_EQ(run.lexer.getATN().getNumberOfDecisions(), 11u);
    EXPECT_EQ(run.lexer.getATN().states.size(), 274u);
}

TEST(Vocabulary, ParserRuleIndexes)
{
    const std::vector<std::string> expected = {"registryFile",
                                               "unitFile",
                                               "projFile",
                                               "path",
                                               "url",
                                               "uri",
                                               "zarnRegistry",
                                               "project",
                                               "projects",
                                               "comment",
                                               "bool_operator",
                                               "bool_expr",
                                               "condition",
                                               "context",
                                               "cond_context",
                                               "identifier",
                                               "segment",
                                               "index",
                                               "regex",
                                               "range",
                                               "indexExpr",
                                               "valueNode",
                                               "list",
                                               "assignment",
                                               "assignment_modifier",
                                               "assign_operator",
                                               "build_tool",
                                               "build_tools",
                                               "zarnUnit",
                                               "unit_name",
                                               "target",
                                               "dependency",
                                               "dependency_modifier",
                                               "dependency_alias",
                                               "direct_dependency",
                                               "dependency_macro",
                                               "dependency_parameter",
                                               "dependency_identifier",
                                               "parameter_name",
                                               "zarnProject",
                                               "proj_name",
                                               "proj_source_profile",
                                               "proj_import_profile",
                                               "proj_path_import",
                                               "proj_registry_import",
                                               "proj_import",
                                               "proj_import_section",
                                               "unit",
                                               "units",
                                               "profile",
                                               "profiles"};
    ParserTest::ParseRun run("");
    EXPECT_EQ(run.parser.getRuleNames(), expected);
    EXPECT_EQ(run.parser.getGrammarFileName(), "ZarnTopParser.g4");
    EXPECT_EQ(run.parser.getATN().getNumberOfDecisions(), 45u);
    EXPECT_EQ(run.parser.getATN().states.size(), 423u);

    // The constants the visitors use agree with the table.
    EXPECT_EQ(ZarnTopParser::RuleRegistryFile, 0u);
    EXPECT_EQ(ZarnTopParser::RuleUri, 5u);
    EXPECT_EQ(ZarnTopParser::RuleComment, 9u);
    EXPECT_EQ(ZarnTopParser::RuleRegex, 18u);
    EXPECT_EQ(ZarnTopParser::RuleAssignment, 23u);
    EXPECT_EQ(ZarnTopParser::RuleZarnUnit, 28u);
    EXPECT_EQ(ZarnTopParser::RuleZarnProject, 39u);
    EXPECT_EQ(ZarnTopParser::RuleProfiles, 50u);
    EXPECT_EQ(ZarnTopParser::IDENTIFIER, 40u);
    EXPECT_EQ(CommonLexer::IDENTIFIER, 40u);
}

TEST(Vocabulary, ContextClassesReportTheirRuleIndex)
{
    ParserTest::ParseRun run("a : b::c { x = [1] if y { } }");
    ZarnTopParser::UnitFileContext* file = run.parser.unitFile();
    ASSERT_EQ(run.parserErrors.messages.size(), 0u);
    EXPECT_EQ(file->getRuleIndex(), ZarnTopParser::RuleUnitFile);
    ZarnTopParser::TargetContext* target = file->zarnUnit()->target(0);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->getRuleIndex(), 30u);
    EXPECT_EQ(target->dependency(0)->dependency_identifier()->direct_dependency()->getRuleIndex(), 34u);
    EXPECT_EQ(target->context()->getRuleIndex(), 13u);
    EXPECT_EQ(target->context()->cond_context(0)->getRuleIndex(), 14u);
    EXPECT_EQ(target->context()->assignment(0)->valueNode()->list()->getRuleIndex(), 22u);
}

}  // namespace
