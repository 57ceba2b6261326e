#include "types/zarn_dependency_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "types/zarn_exceptions.h"
#include "context_test_support.h"

using namespace Zarn;
using namespace ContextTestSupport;

namespace {

Dependency direct(const std::string& project, const std::string& unit, const std::string& target)
{
    Dependency dependency;
    dependency.target = QualifiedTargetName(project, unit, target);
    return dependency;
}

Dependency macro(const std::string& name, bool sourceParameter = false)
{
    Dependency dependency;
    dependency.target = DependencyMacro{ident(name), sourceParameter};
    return dependency;
}

// A target context whose variable "deps" holds the value, with the given
// dependencies.
std::shared_ptr<TargetContext> targetWith(ZarnValuePtr value, std::vector<Dependency> dependencies)
{
    std::vector<Assignment> assignments;
    if (value)
        assignments.push_back(set("deps", value));
    return std::make_shared<TargetContext>(QualifiedTargetName("", "u", "t"), std::vector<std::string>{},
                                           std::vector<ZarnValuePtr>{}, assignments,
                                           std::vector<Condition>{}, dependencies);
}

std::string names(const std::vector<Dependency>& dependencies)
{
    std::string text;
    for (const Dependency& dependency : dependencies) {
        const auto* name = std::get_if<QualifiedTargetName>(&dependency.target);
        text += name ? name->toString() : "<macro>";
        if (!dependency.parameters.empty()) {
            text += "(";
            for (const Identifier& parameter : dependency.parameters)
                text += identifierText(parameter) + ",";
            text += ")";
        }
        text += " ";
    }
    return text;
}

std::string failure(ZarnValuePtr value, Dependency dependency = macro("deps"))
{
    auto context = targetWith(std::move(value), {dependency});
    try {
        createDependencyList(*context);
    } catch (const ZarnException& error) {
        return error.getMessage();
    } catch (const std::exception& error) {
        return std::string("std: ") + error.what();
    }
    return "no error";
}

TEST(DependencyListTest, DirectDependenciesAreCopiedAndMacrosExpandInPlace)
{
    Dependency merged = macro("deps");
    merged.modifier = 1;
    merged.aliasKind = 2;
    merged.alias = "out";
    auto context = targetWith(str("a::x  b::y(p, q)"), {direct("", "", "first"), merged, direct("p", "u", "last")});
    std::vector<Dependency> result;
    std::string log = captureOutput([&] { result = createDependencyList(*context); }, 1);
    EXPECT_EQ(log, "Creating dependency list.\n");
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(names(result), "/::first /a::x /b::y(p,q,) p/u::last ");
    for (int i : {1, 2}) {
        EXPECT_EQ(result[i].modifier, 1u);
        EXPECT_EQ(result[i].aliasKind, 2u);
        EXPECT_EQ(result[i].alias, "out");
        EXPECT_EQ(result[i].sourceValue, nullptr);
    }
}

TEST(DependencyListTest, MacroParametersGoToPlainTokensOnly)
{
    Dependency withParameters = macro("deps");
    withParameters.parameters = {ident("m")};
    EXPECT_EQ(names(createDependencyList(*targetWith(str("a b"), {withParameters}))), "/::a(m,) /::b(m,) ");
    EXPECT_EQ(failure(str("b::y(p)"), withParameters),
              "Invalid dynamic dependency 'b::y(p)': cannot combine macro parameters with parameters from the "
              "resolved dependency value");
}

TEST(DependencyListTest, WhitespaceInsideParenthesesDoesNotSplit)
{
    auto context = targetWith(str(" t( p , q )\t"), {macro("deps")});
    EXPECT_EQ(names(createDependencyList(*context)), "/::t(p,q,) ");
}

TEST(DependencyListTest, ListAndContextValues)
{
    auto fromList = targetWith(list({str("a::x"), str(""), str("  ")}), {macro("deps")});
    EXPECT_EQ(names(createDependencyList(*fromList)), "/a::x ");

    ZarnValuePtr source = str("src");
    auto fromContext = targetWith(contextValue({set("one", source), Assignment("two", nullptr, Assignment::Declare)}),
                                  {macro("deps", true)});
    std::vector<Dependency> result = createDependencyList(*fromContext);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(names(result), "/::one /::two ");
    EXPECT_EQ(text(result[0].sourceValue), "src");
    EXPECT_EQ(text(result[1].sourceValue), "two");  // a variable without value stands for its name

    auto plainContext = targetWith(contextValue({set("one", str("v"))}), {macro("deps")});
    EXPECT_EQ(createDependencyList(*plainContext)[0].sourceValue, nullptr);
}

TEST(DependencyListTest, SourceParameterizedMacroFromText)
{
    auto context = targetWith(str("a b"), {macro("deps", true)});
    std::vector<Dependency> result = createDependencyList(*context);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(text(result[1].sourceValue), "b");
    EXPECT_EQ(failure(str("a(p)"), macro("deps", true)),
              "Invalid dynamic dependency 'a(p)': cannot combine source-parameterized macro with parameters "
              "from the resolved dependency value");
}

TEST(DependencyListTest, EmptyMacrosAreSkippedWithAWarning)
{
    auto context = targetWith(str("  "), {macro("deps"), direct("", "", "t")});
    std::vector<Dependency> result;
    std::string log = captureOutput([&] { result = createDependencyList(*context); }, 6);
    EXPECT_EQ(names(result), "/::t ");
    EXPECT_EQ(log, "Dynamic dependency 'deps' is empty and will be skipped.\n");

    auto declared = targetWith(nullptr, {macro("deps")});
    declared->addAssignment(Assignment("deps", nullptr, Assignment::Declare));
    log = captureOutput([&] { result = createDependencyList(*declared); }, 6);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(log, "Dynamic dependency 'deps' is empty and will be skipped.\n");

    auto blanks = targetWith(list({str(" ")}), {macro("deps")});
    log = captureOutput([&] { result = createDependencyList(*blanks); }, 6);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(log, "Dynamic dependency 'deps' is empty and will be skipped.\n");
}

TEST(DependencyListTest, MacroLookupFailuresPassOut)
{
    auto context = targetWith(nullptr, {macro("missing")});
    EXPECT_THROW(createDependencyList(*context), NotFoundException);
}

TEST(DependencyListTest, SingleOutputAliasNeedsExactlyOneDependency)
{
    Dependency single = macro("deps");
    single.aliasKind = 1;
    EXPECT_EQ(names(createDependencyList(*targetWith(str("a"), {single}))), "/::a ");
    EXPECT_EQ(failure(str("a b"), single),
              "Invalid dynamic dependency 'a b': single output alias cannot be used when a macro expands to "
              "multiple dependencies");
}

TEST(DependencyListTest, MalformedTokens)
{
    struct Case {
        ZarnValuePtr value;
        const char* message;
    } cases[] = {
        {str("x)"), "Invalid dynamic dependency 'x)': unmatched ')'"},
        {str("a x(p"), "Invalid dynamic dependency 'a x(p': unterminated parameter list"},
        {list({str("x(p")}), "Invalid dynamic dependency 'x(p': unterminated parameter list"},
        {list({str("t(a)b")}), "Invalid dynamic dependency 't(a)b': unterminated parameter list"},
        {str("(p)"), "Invalid dynamic dependency '(p)': empty target name"},
        {str("x(p,)"), "Invalid dynamic dependency 'x(p,)': empty parameter"},
        {str("x(,p)"), "Invalid dynamic dependency 'x(,p)': empty parameter"},
        {str("x()"), "Invalid dynamic dependency 'x()': empty parameter list"},
        {str("x(  )"), "Invalid dynamic dependency 'x(  )': empty parameter list"},
        {str("x(1p)"), "Invalid dynamic dependency 'x(1p)': invalid parameter '1p'"},
        {str("x(a-b)"), "Invalid dynamic dependency 'x(a-b)': invalid parameter 'a-b'"},
        {str("x(a b)"), "Invalid dynamic dependency 'x(a b)': invalid parameter 'a b'"},
        {str("::t"), "std: Dependency string has empty prefix or target: ::t"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(failure(c.value), c.message) << c.value->toString();
}

TEST(DependencyListTest, ParametersMayBeDottedAndIndexed)
{
    auto context = targetWith(str("x(a.b[1], c[d])"), {macro("deps")});
    EXPECT_EQ(names(createDependencyList(*context)), "/::x(a.b[1],c[d],) ");
}

TEST(ParseDependencyStringTest, Forms)
{
    EXPECT_EQ(parseDependencyString("t").toString(), "/::t");
    EXPECT_EQ(parseDependencyString("u::t").toString(), "/u::t");
    EXPECT_EQ(parseDependencyString("p/u::t").toString(), "p/u::t");
    QualifiedTargetName slashOnly = parseDependencyString("p/t");
    EXPECT_EQ(slashOnly.target, "p/t");
    EXPECT_TRUE(slashOnly.project.empty() && slashOnly.unit.empty());
    EXPECT_EQ(parseDependencyString(" t ").target, " t ");  // callers trim
}

TEST(ParseDependencyStringTest, Failures)
{
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Dependency string is empty"},
        {"::t", "Dependency string has empty prefix or target: ::t"},
        {"u::", "Dependency string has empty prefix or target: u::"},
        {"/u::t", "Dependency string has empty ns or unit: /u::t"},
        {"p/::t", "Dependency string has empty ns or unit: p/::t"},
    };
    for (const Case& c : cases) {
        try {
            parseDependencyString(c.text);
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(DependencyTokenTest, TrimsAndMakesStringValues)
{
    std::vector<DependencyToken> tokens;
    std::string blank = " \t\n";
    ZarnValuePtr none;
    addDependencyToken(tokens, blank, none);
    EXPECT_TRUE(tokens.empty());
    EXPECT_EQ(blank, "");

    std::string padded = "  a::b ";
    addDependencyToken(tokens, padded, none);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(padded, "a::b");
    EXPECT_EQ(tokens[0].text, "a::b");
    EXPECT_NE(dynamic_cast<ZarnString*>(tokens[0].value.get()), nullptr);
    EXPECT_EQ(text(tokens[0].value), "a::b");

    ZarnValuePtr own = integer(3);
    std::string three = "3";
    addDependencyToken(tokens, three, own);
    EXPECT_EQ(tokens[1].value, own);

    EXPECT_EQ(trimWhitespace("\v x y \f"), "x y");
    EXPECT_EQ(trimWhitespace(""), "");
}

}  // namespace
