#include "loader/unit_by_targets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "test_support.h"

using TestSupport::outline;

namespace {

std::string describe(const Zarn::Unit& unit)
{
    std::string text = "unit '" + unit.name + "' first '" + unit.firstTarget + "'\n";
    for (const auto& [key, target] : unit.targets) {
        text += key + " = " + target.name.toString() + "(";
        for (const std::string& parameter : target.parameterNames)
            text += parameter + ",";
        text += "):";
        for (const Zarn::Dependency& dependency : target.dependencies) {
            text += " " + std::to_string(dependency.modifier) + std::to_string(dependency.aliasKind) +
                    dependency.alias + "/" + std::to_string(dependency.parameters.size());
            if (const auto* name = std::get_if<Zarn::QualifiedTargetName>(&dependency.target))
                text += name->toString();
            else
                text += "@macro";
        }
        text += " " + outline(&target) + "\n";
    }
    return text;
}

// "unit ...", "error: <message>", or "" when the text is left to the
// ordinary load.
std::string byTargets(const std::string& text)
{
    Zarn::InputText input;
    Zarn::loadInputText(input, text, "t");
    try {
        std::unique_ptr<Zarn::Unit> unit = Zarn::readUnitByTargets(input, "/base");
        if (!unit) {
            EXPECT_EQ(input.index(), 0u) << "the input goes back to its start";
            return "";
        }
        return describe(*unit);
    } catch (const std::exception& error) {
        return std::string("error: ") + error.what();
    }
}

// The same through the whole file's parse and visit; "syntax errors" when
// the parser reports any.
std::string ordinary(const std::string& text)
{
    try {
        TestSupport::Parsed parsed(text);
        auto* tree = parsed.parser.unitFile();
        if (!parsed.lexerErrors.messages.empty() || !parsed.parserErrors.messages.empty() ||
            parsed.parser.getNumberOfSyntaxErrors() > 0)
            return "syntax errors";
        ZarnVisitorImpl visitor("/base", SourceKind::Unit);
        return describe(*Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(tree->zarnUnit())));
    } catch (const std::exception& error) {
        return std::string("error: ") + error.what();
    } catch (const Zarn::ZarnException& error) {
        return "error: " + error.getMessage();
    }
}

const char* const units[] = {
    "unit u\n\nt(p, q): a b::c x/b::c @m(., x) +d => al +e +> m {\n  ^a = \"x\"\n"
    "  b += [1, R\"(r)\", y.z[2][0:3]]\n  c ?= { d = P\"(p)\" e = [] }\n  e\n  if a { f = 1 } if g = -2 { h = [] }\n}\n"
    "second: t { x = \"${a}\" }\nThird: { }",
    "t: { a = 1 } u: t { b = P\"(/abs)\" }",
    "",
    "// only a comment\n/* and another */",
    "unit lonely",
};

}  // namespace

TEST(UnitByTargets, GivesTheUnitOfTheWholeFilesParse)
{
    for (const char* text : units) {
        const std::string fast = byTargets(text);
        EXPECT_NE(fast, "") << text;
        EXPECT_EQ(fast, ordinary(text)) << text;
    }
}

TEST(UnitByTargets, LeavesEveryTroubleToTheOrdinaryLoad)
{
    const std::string deep = "t: { a = " + std::string(Zarn::maxNestingDepth + 1, '[') + "}";
    const char* const texts[] = {
        "t: { a = $ 1 }",        // a lexical error only
        "t: { a = [1, 2,] }",    // syntax errors
        "t { }",
        "t: { a = 1 } unit u",
        "t: { a = 1",
        "t: { !a = 1 }",         // errors of the visit
        "t: { n = 99999999999 }",
    };
    for (const char* text : texts)
        EXPECT_EQ(byTargets(text), "") << text;
    EXPECT_EQ(byTargets(deep), "");
    // A repeated name fails as after the whole file's parse.
    EXPECT_EQ(byTargets("t: { } T: { }"), ordinary("t: { } T: { }"));
    EXPECT_EQ(byTargets("t: { } T: { }"), "error: Key already exists: t");
}

TEST(UnitByTargets, AgreesOnRandomMutationsOfUnitTexts)
{
    const std::size_t count = TestSupport::fuzzIterations(300);
    std::mt19937 random(777);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string bytes = "{}[]()\"=:,.@+^!/- \naxT1$";
    std::size_t fast = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = units[below(2)];
        for (std::size_t edits = below(3); edits > 0; --edits) {
            const std::size_t at = below(text.size() + 1);
            if (below(2) == 0 || at == text.size())
                text.insert(at, 1, bytes[below(bytes.size())]);
            else
                text.erase(at, 1);
        }
        const std::string got = byTargets(text);
        if (got.empty())
            continue;
        ++fast;
        ASSERT_EQ(got, ordinary(text)) << text;
    }
    EXPECT_GT(fast, count / 10);
}
