// What the lexer and the grammar accept, and the tree shapes the visitor
// relies on where a text could be read two ways.

#include "test_support.h"

using namespace TestSupport;

namespace {

enum class Rule { Registry, Unit, Project, Assignment };

// The tree as a LISP-style text; the errors land in `parsed`.
std::string treeOf(Parsed& parsed, Rule rule)
{
    antlr4::ParserRuleContext* root = nullptr;
    switch (rule) {
    case Rule::Registry: root = parsed.parser.registryFile(); break;
    case Rule::Unit: root = parsed.parser.unitFile(); break;
    case Rule::Project: root = parsed.parser.projFile(); break;
    case Rule::Assignment: root = parsed.parser.assignment(); break;
    }
    return root->toStringTree(&parsed.parser);
}

TEST(Grammar, AcceptsAndRejects)
{
    const struct { Rule rule; const char* text; bool accepted; } cases[] = {
        {Rule::Unit, "", true},
        {Rule::Unit, "a(x, y): +lib::core(., z) => c @deps(v.w) +> d p/u::x {}", true},
        {Rule::Unit,
         "t : { a b = 1 c += \"s\" d ?= R\"(r)\" ^e = P\"(p)\" !f = x.y g = [] h = [1, [2]] i = { j = 1 }"
         " Name = -3 if os = linux { a = 1 } if debug { } if x != 1 {} if x < 1 {} if x > 1 {} }",
         true},
        {Rule::Unit, "t : { if x = { y = 1 } z = 2 }", false},
        {Rule::Unit, "a(): {}", false},
        {Rule::Unit, "t : { if x >= 1 {} }", false},
        {Rule::Unit, "t : { x = [1,] }", false},
        {Rule::Unit, "t : { name = 1 }", false},
        {Rule::Unit, "t : { a.b = 1 }", false},
        {Rule::Project,
         "name demo import { dev: \"../lib\" lib (release); other; \"x\"; } tools { gcc { !cc = \"gcc\" } }"
         " units { app { \"a.txt\" \"b.txt\" } lib { } } profiles { release { opt = 2 if x { } } }",
         true},
        {Rule::Project, "import { dev:; }", false},
        {Rule::Project, "units { app { x } }", false},
        {Rule::Registry, "projects { a \"x\" b \"y\" } tools { gcc { !cc = \"gcc\" if x { } } t2 { } }", true},
        {Rule::Registry, "tools {} projects {}", false},
        {Rule::Assignment, "!a ?= [\"x\", P\"(p)\", [], { b = 1 if c { d } }]", true},
        {Rule::Assignment, "= 1", false},
        {Rule::Assignment, "name = 1", false},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        const std::string tree = treeOf(parsed, c.rule);
        EXPECT_TRUE(parsed.lexerErrors.messages.empty()) << c.text;
        EXPECT_EQ(parsed.parserErrors.messages.empty(), c.accepted) << c.text << "\n" << tree;
    }
}

TEST(Grammar, TreeShapesTheVisitorRelies)
{
    const struct { Rule rule; const char* text; const char* tree; } cases[] = {
        // A block after a comparison operator is the operand; the next block is the body.
        {Rule::Unit, "t : { if x = { y = 1 } { z = 2 } }",
         "(unitFile (zarnUnit (target t : (context { (cond_context (condition if"
         " (bool_expr (identifier (segment x)) (bool_operator =) (valueNode (context {"
         " (assignment y (assign_operator =) (valueNode 1)) }))))"
         " (context { (assignment z (assign_operator =) (valueNode 2)) })) }))) <EOF>)"},
        // An identifier followed by "[" is an indexed reference, not a list.
        {Rule::Assignment, "x = y.z [1][2:3][R\"(.*)\"]",
         "(assignment x (assign_operator =) (valueNode (identifier (segment y) ."
         " (segment z (index [ (indexExpr 1) ]) (index [ (indexExpr (range 2 : 3)) ])"
         " (index [ (indexExpr (regex R\"(.*)\")) ])))))"},
        // No EOF in this start rule: what follows one assignment is ignored.
        {Rule::Assignment, "a = 1 b=2", "(assignment a (assign_operator =) (valueNode 1))"},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        EXPECT_EQ(treeOf(parsed, c.rule), c.tree);
        EXPECT_TRUE(parsed.parserErrors.messages.empty()) << c.text;
    }
}

TEST(Lexer, LongestMatchKeywordsRawStringsAndRecovery)
{
    const struct { const char* text; const char* tokens; const char* errors; } cases[] = {
        {"unit units unit2 Unit name Name", "UNIT_STR UNITS_STR IDENTIFIER IDENTIFIER NAME_STR IDENTIFIER", ""},
        {"a::b a: :b x=>y x= >y", "IDENTIFIER DCOLON IDENTIFIER IDENTIFIER COLON COLON IDENTIFIER IDENTIFIER ALIAS"
                                  " IDENTIFIER IDENTIFIER EQUALS GREATER IDENTIFIER", ""},
        {"a+>b a+=b !a != b ?= c", "IDENTIFIER MERGE_ALIAS IDENTIFIER IDENTIFIER APPEND IDENTIFIER MUST IDENTIFIER"
                                   " NEQUALS IDENTIFIER ASSIGNEMPTY IDENTIFIER", ""},
        {"a//b\nc \"a//b /* c */\" /* x\n y */", "IDENTIFIER IDENTIFIER STRING", ""},
        // Raw strings end at the first )", also one right after another ).
        {"R\"(a))\"", "RAW_STRING", ""},
        {"R\"(a))\")\"x\"", "RAW_STRING RBRACKET STRING", ""},
        {"R\"(a)))\" R\"(x \"y\" (z)\nw)\" P\"(x)\" P\"x\"", "RAW_STRING RAW_STRING PATH_STRING IDENTIFIER STRING", ""},
        // Failures: the failed text is dropped and lexing goes on.
        {"- 5", "NUMBER", "1:0 token recognition error at: '- '"},
        {"a\n  $ b", "IDENTIFIER IDENTIFIER", "2:2 token recognition error at: '$'"},
        {"R\"(open", "IDENTIFIER", "1:1 token recognition error at: '\"(open'"},
        // What the message quotes of the failed text is short and printable.
        {"\"abc\n def", "", "1:0 token recognition error at: '\"abc\\x0a def'"},
        {"P\"(\x1b[31maaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "IDENTIFIER",
         "1:1 token recognition error at: '\"(\\x1b[31maaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...'"},
    };
    for (const auto& c : cases) {
        Parsed parsed(c.text);
        parsed.tokens.fill();
        std::string names;
        for (antlr4::Token* token : parsed.tokens.getTokens())
            if (token->getType() != antlr4::Token::EOF)
                names += (names.empty() ? "" : " ") +
                         parsed.lexed.lexer().getVocabulary().getSymbolicName(token->getType());
        EXPECT_EQ(names, c.tokens) << c.text;
        std::string errors;
        for (const std::string& message : parsed.lexerErrors.messages)
            errors += message;
        EXPECT_EQ(errors, c.errors) << c.text;
    }
}

}  // namespace
