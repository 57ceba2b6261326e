#include "types/zarn_dependency_list.h"

#include <stdexcept>

#include "test_support.h"

using namespace TestSupport;
using namespace Zarn;

namespace {

// The dependency macro "@deps", with its source marker, alias kind and parameters.
Dependency macro(bool sourceParameter = false, uint32_t aliasKind = 0, const Words& parameters = {})
{
    Dependency dependency;
    dependency.target = DependencyMacro{ident("deps"), sourceParameter};
    dependency.aliasKind = aliasKind;
    for (const auto& parameter : parameters)
        dependency.parameters.push_back(ident(parameter));
    return dependency;
}

Dependency direct(const std::string& name)
{
    Dependency dependency;
    dependency.target = QualifiedTargetName::parse(name);
    return dependency;
}

std::vector<Dependency> expand(const std::vector<Assignment>& assignments, const std::vector<Dependency>& dependencies)
{
    TargetContext context(QualifiedTargetName("", "u", "t"), {}, {}, assignments, {}, dependencies);
    return createDependencyList(context);
}

// Expands the dependencies of a target whose variable "deps" holds the value.
std::vector<Dependency> expand(ZarnValuePtr value, const std::vector<Dependency>& dependencies = {macro()})
{
    return expand(std::vector<Assignment>{set("deps", std::move(value))}, dependencies);
}

// "p/u::t(a,b) " for each dependency; every one must name its target.
std::string names(const std::vector<Dependency>& dependencies)
{
    std::string text;
    for (const Dependency& dependency : dependencies) {
        text += std::get<QualifiedTargetName>(dependency.target).toString();
        for (std::size_t i = 0; i < dependency.parameters.size(); ++i)
            text += (i ? "," : "(") + identifierText(dependency.parameters[i]);
        text += dependency.parameters.empty() ? " " : ") ";
    }
    return text;
}

TEST(DependencyListTest, DirectDependenciesAreCopiedAndMacrosExpandInPlace)
{
    Dependency merged = macro(false, 2);
    merged.modifier = 1;
    merged.alias = "out";
    std::vector<Dependency> result;
    std::string log =
        captureLog(1, [&] { result = expand(str("a::x  b::y(p, q)"), {direct("first"), merged, direct("p/u::last")}); });
    EXPECT_EQ(log, "Creating dependency list.\n");
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(names(result), "/::first /a::x /b::y(p,q) p/u::last ");
    for (int i : {1, 2}) {
        EXPECT_EQ(result[i].modifier, 1u);
        EXPECT_EQ(result[i].aliasKind, 2u);
        EXPECT_EQ(result[i].alias, "out");
        EXPECT_EQ(result[i].sourceValue, nullptr);
    }
}

TEST(DependencyListTest, MacroValuesGiveOneDependencyPerToken)
{
    const struct { ZarnValuePtr value; Dependency dependency; const char* names; } cases[] = {
        {str("a b"), macro(false, 0, {"m"}), "/::a(m) /::b(m) "},  // macro parameters go to every token
        {str(" t( p , q )\t"), macro(), "/::t(p,q) "},            // no split inside the parentheses
        {str("x(a.b[1], c[d])"), macro(), "/::x(a.b[1],c[d]) "},
        {list({str("a::x"), str(""), str("  ")}), macro(), "/a::x "},
        {str("a"), macro(false, 1), "/::a "},  // a single output alias takes exactly one
        {str("p/t u::t"), macro(), "/::p/t /u::t "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(expand(c.value, {c.dependency})), c.names) << c.value->toString();
}

TEST(DependencyListTest, SourceParameterizedMacrosPassTheirSourceValues)
{
    std::vector<Dependency> result = expand(block({set("one", str("src")), declare("two")}), {macro(true)});
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(names(result), "/::one /::two ");
    EXPECT_EQ(text(result[0].sourceValue), "src");
    EXPECT_EQ(text(result[1].sourceValue), "two");  // a variable without value stands for its name
    EXPECT_EQ(expand(block({set("one", str("v"))}))[0].sourceValue, nullptr);
    result = expand(str("a b"), {macro(true)});
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(text(result[1].sourceValue), "b");
}

TEST(DependencyListTest, EmptyMacrosAreSkippedWithAWarning)
{
    for (const auto& deps : {set("deps", str("  ")), declare("deps"), set("deps", strings({" "}))}) {
        std::vector<Dependency> result;
        std::string log = captureLog(6, [&] { result = expand({deps}, {macro(), direct("t")}); });
        EXPECT_EQ(names(result), "/::t ") << deps.toString();
        EXPECT_EQ(log, "Dynamic dependency 'deps' is empty and will be skipped.\n");
    }
    EXPECT_THROW(expand(std::vector<Assignment>{}, {macro()}), NotFoundException);
}

TEST(DependencyListTest, MalformedTokens)
{
    const struct { ZarnValuePtr value; Dependency dependency; const char* message; } cases[] = {
        {str("x)"), macro(), "'x)': unmatched ')'"},
        {str("a x(p"), macro(), "'a x(p': unterminated parameter list"},
        {str("(p)"), macro(), "'(p)': empty target name"},
        {str("x(p,)"), macro(), "'x(p,)': empty parameter"},
        {str("x()"), macro(), "'x()': empty parameter list"},
        {str("x(1p)"), macro(), "'x(1p)': invalid parameter '1p'"},
        {str("b::y(p)"), macro(false, 0, {"m"}),
         "'b::y(p)': cannot combine macro parameters with parameters from the resolved dependency value"},
        {str("a(p)"), macro(true),
         "'a(p)': cannot combine source-parameterized macro with parameters from the resolved dependency value"},
        {str("a b"), macro(false, 1),
         "'a b': single output alias cannot be used when a macro expands to multiple dependencies"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(messageOf([&] { expand(c.value, {c.dependency}); }), std::string("Invalid dynamic dependency ") + c.message);
    // Target names are read strictly: a project only with a unit, no empty parts.
    const std::pair<const char*, const char*> badNames[] = {
        {"u::", "empty prefix or target: u::"}, {"p/::t", "empty ns or unit: p/::t"}};
    for (const auto& [name, message] : badNames)
        EXPECT_EQ(messageOf<std::runtime_error>([name = name] { expand(str(name)); }),
                  std::string("Dependency string has ") + message);
}

}  // namespace
