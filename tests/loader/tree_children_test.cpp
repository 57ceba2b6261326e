#include "loader/tree_children.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "test_support.h"

namespace {

// Every rule class whose children the visitor picks.
template <class... T>
struct Classes {};
using Picked = Classes<ZarnTopParser::ValueNodeContext, ZarnTopParser::AssignmentContext,
                       ZarnTopParser::Cond_contextContext, ZarnTopParser::ConditionContext,
                       ZarnTopParser::ContextContext, ZarnTopParser::SegmentContext, ZarnTopParser::IndexContext,
                       ZarnTopParser::IndexExprContext, ZarnTopParser::IdentifierContext,
                       ZarnTopParser::ListContext, ZarnTopParser::Assignment_modifierContext,
                       ZarnTopParser::Assign_operatorContext, ZarnTopParser::Unit_nameContext,
                       ZarnTopParser::TargetContext, ZarnTopParser::Parameter_nameContext,
                       ZarnTopParser::DependencyContext, ZarnTopParser::Dependency_identifierContext,
                       ZarnTopParser::Dependency_parameterContext, ZarnTopParser::Dependency_modifierContext,
                       ZarnTopParser::Dependency_aliasContext, ZarnTopParser::Direct_dependencyContext,
                       ZarnTopParser::Dependency_macroContext>;

template <class T>
void compareRule(antlr4::ParserRuleContext* ctx)
{
    ASSERT_EQ(Zarn::childrenOf<T>(ctx), ctx->getRuleContexts<T>()) << typeid(T).name();
    for (std::size_t i = 0; i <= ctx->children.size(); ++i)
        ASSERT_EQ(Zarn::childOf<T>(ctx, i), ctx->getRuleContext<T>(i)) << typeid(T).name() << " " << i;
}

template <class... T>
void compareRules(antlr4::ParserRuleContext* ctx, Classes<T...>)
{
    (compareRule<T>(ctx), ...);
}

// The helpers against the generated accessors at every node of the tree.
std::size_t compareTree(antlr4::tree::ParseTree* node)
{
    auto* ctx = dynamic_cast<antlr4::ParserRuleContext*>(node);
    if (!ctx)
        return 0;
    compareRules(ctx, Picked{});
    for (std::size_t type = 1; type <= CommonLexer::IDENTIFIER; ++type) {
        EXPECT_EQ(Zarn::tokensOf(ctx, type), ctx->getTokens(type)) << type;
        for (std::size_t i = 0; i <= ctx->children.size(); ++i)
            EXPECT_EQ(Zarn::tokenOf(ctx, type, i), ctx->getToken(type, i)) << type << " " << i;
    }
    std::size_t nodes = 1;
    for (antlr4::tree::ParseTree* child : ctx->children)
        nodes += compareTree(child);
    return nodes;
}

const char* const units[] = {
    "unit u\nt(p, q): a b::c x/b::c @m(x, .) +d => al +e +> m {\n  ^a = \"x\"\n  !b += [1, R\"(r)\", y.z[2][0:3]]\n"
    "  c ?= { d = P\"(p)\" }\n  e\n  if a { f = 1 } if g = -2 { h = [] }\n}\n",
    "t: { a = 1 b = c.d[e.f] }",
    // Syntax errors give error nodes and missing children.
    "t: { a = [1, 2,] } u: { = 3 } v { w",
    "unit: : { } t: x( { a = }",
};

}  // namespace

TEST(TreeChildren, PicksWhatTheGeneratedAccessorsPick)
{
    for (const char* text : units) {
        antlr4::BaseErrorListener quiet;
        TestSupport::Parsed parsed(text, &quiet);
        EXPECT_GT(compareTree(parsed.parser.unitFile()), 3u) << text;
    }
}

TEST(TreeChildren, AgreesOnRandomMutationsOfUnitTexts)
{
    const std::size_t count = TestSupport::fuzzIterations(200);
    std::mt19937 random(1618);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string bytes = "{}[]()\"=:,.@+^!/- \nax1";
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = units[below(std::size(units))];
        for (std::size_t edits = 1 + below(4); edits > 0; --edits) {
            const std::size_t at = below(text.size() + 1);
            if (below(2) == 0 || at == text.size())
                text.insert(at, 1, bytes[below(bytes.size())]);
            else
                text.erase(at, 1);
        }
        antlr4::BaseErrorListener quiet;
        TestSupport::Parsed parsed(text, &quiet);
        compareTree(parsed.parser.unitFile());
        ASSERT_FALSE(HasFailure()) << text;
    }
}
