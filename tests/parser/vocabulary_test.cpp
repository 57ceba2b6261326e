// The token types, names and rule indexes are part of the language's contract:
// the visitors and the error messages depend on them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/parse_run.h"

namespace {

// Symbolic names by token type, from 1.
const std::vector<std::string> kTokens = {
    "WS", "LINE_COMMENT", "BLOCK_COMMENT", "COLON", "DCOLON", "ALIAS", "MERGE_ALIAS", "LBRACE", "RBRACE", "LBRACKET",
    "RBRACKET", "EQUALS", "NEQUALS", "GREATER", "LESSER", "APPEND", "ASSIGNEMPTY", "STRING", "RAW_STRING",
    "PATH_STRING", "NUMBER", "LSQUARE", "RSQUARE", "PLUS", "AT", "UP", "MUST", "SLASH", "COMMA", "DOT", "SEMICOLON",
    "UNIT_STR", "IF_STR", "IMPORT_STR", "UNITS_STR", "PROFILES_STR", "PROJECTS_STR", "TOOLS_STR", "NAME_STR",
    "IDENTIFIER"};

TEST(Vocabulary, TokenTypesAndNamesOfLexerAndParser)
{
    ParserTest::ParseRun run("");
    const antlr4::dfa::Vocabulary& lexerVocabulary = run.lexer.getVocabulary();
    const antlr4::dfa::Vocabulary& parserVocabulary = run.parser.getVocabulary();
    ASSERT_EQ(lexerVocabulary.getMaxTokenType(), 40u);
    ASSERT_EQ(parserVocabulary.getMaxTokenType(), 40u);
    std::string display;  // literal names, or symbolic ones where there is none
    for (size_t type = 1; type <= 40; ++type) {
        EXPECT_EQ(lexerVocabulary.getSymbolicName(type), kTokens[type - 1]);
        EXPECT_EQ(parserVocabulary.getSymbolicName(type), kTokens[type - 1]);
        EXPECT_EQ(parserVocabulary.getLiteralName(type), lexerVocabulary.getLiteralName(type));
        if (type != CommonLexer::ASSIGNEMPTY)  // its spelling depends on the tool
            display += lexerVocabulary.getDisplayName(type) + " ";
    }
    EXPECT_EQ(display,
              "WS LINE_COMMENT BLOCK_COMMENT ':' '::' '=>' '+>' '{' '}' '(' ')' '=' '!=' '>' '<' '+=' STRING "
              "RAW_STRING PATH_STRING NUMBER '[' ']' '+' '@' '^' '!' '/' ',' '.' ';' 'unit' 'if' 'import' 'units' "
              "'profiles' 'projects' 'tools' 'name' IDENTIFIER ");
    const std::string assignEmpty = lexerVocabulary.getLiteralName(CommonLexer::ASSIGNEMPTY);
    EXPECT_TRUE(assignEmpty == "'?='" || assignEmpty == "'\\u003F='") << assignEmpty;
}

TEST(Vocabulary, LexerRulesChannelsAndModes)
{
    ParserTest::ParseRun run("");
    std::vector<std::string> rules = kTokens;
    rules.push_back("RAW_CONTENT");
    EXPECT_EQ(run.lexer.getRuleNames(), rules);
    EXPECT_EQ(run.lexer.getChannelNames(), (std::vector<std::string> {"DEFAULT_TOKEN_CHANNEL", "HIDDEN"}));
    EXPECT_EQ(run.lexer.getModeNames(), std::vector<std::string> {"DEFAULT_MODE"});
    EXPECT_EQ(run.lexer.getGrammarFileName(), "CommonLexer.g4");
    EXPECT_EQ(run.lexer.getATN().getNumberOfDecisions(), 11u);
    EXPECT_EQ(run.lexer.getATN().states.size(), 274u);
}

// Rule indexes follow this order; the unused rules keep their places.
TEST(Vocabulary, ParserRuleIndexes)
{
    const std::vector<std::string> expected = {
        "registryFile", "unitFile", "projFile", "path", "url", "uri", "zarnRegistry", "project", "projects", "comment",
        "bool_operator", "bool_expr", "condition", "context", "cond_context", "identifier", "segment", "index",
        "regex", "range", "indexExpr", "valueNode", "list", "assignment", "assignment_modifier", "assign_operator",
        "build_tool", "build_tools", "zarnUnit", "unit_name", "target", "dependency", "dependency_modifier",
        "dependency_alias", "direct_dependency", "dependency_macro", "dependency_parameter", "dependency_identifier",
        "parameter_name", "zarnProject", "proj_name", "proj_source_profile", "proj_import_profile",
        "proj_path_import", "proj_registry_import", "proj_import", "proj_import_section", "unit", "units", "profile",
        "profiles"};
    ParserTest::ParseRun run("");
    EXPECT_EQ(run.parser.getRuleNames(), expected);
    EXPECT_EQ(run.parser.getGrammarFileName(), "ZarnTopParser.g4");
    EXPECT_EQ(run.parser.getATN().getNumberOfDecisions(), 45u);
    EXPECT_EQ(run.parser.getATN().states.size(), 423u);
}

}  // namespace
