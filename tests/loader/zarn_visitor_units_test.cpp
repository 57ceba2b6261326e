#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <variant>

#include "loader/visit_support.h"
#include "types/zarn_exceptions.h"

using LoaderTest::Parsed;
using LoaderTest::visitUnitText;

namespace {

const Zarn::QualifiedTargetName& directTarget(const Zarn::Dependency& dependency)
{
    return std::get<Zarn::QualifiedTargetName>(dependency.target);
}

std::string zarnMessage(const std::string& text)
{
    try {
        visitUnitText(text);
    } catch (const Zarn::ZarnException& error) {
        return error.getMessage();
    }
    return "(no error)";
}

}  // namespace

TEST(VisitorUnits, UnitLineNamesTheUnitAndEveryTarget)
{
    auto unit = visitUnitText("unit lib build: {} test(kind, level): build {}");
    EXPECT_EQ(unit->name, "lib");
    EXPECT_EQ(unit->firstTarget, "build");
    const auto& test = unit->targets.at("TEST");
    EXPECT_EQ(test.name.project, "");
    EXPECT_EQ(test.name.unit, "lib");
    EXPECT_EQ(test.name.target, "test");
    EXPECT_EQ(test.parameterNames, (std::vector<std::string>{"kind", "level"}));
    EXPECT_TRUE(unit->targets.at("build").parameterNames.empty());
}

TEST(VisitorUnits, WithoutUnitLineTheVisitorsUnitNameIsKept)
{
    Parsed parsed("t: {}");
    ZarnVisitorImpl visitor("/", SourceKind::Unit);
    visitor.projectName = "p";
    visitor.unitName = "given";
    auto unit = Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(parsed.unitBody()));
    EXPECT_EQ(unit->name, "");
    EXPECT_EQ(unit->targets.at("t").name.toString(), "p/given::t");
}

TEST(VisitorUnits, DuplicateTargetNamesTheStoredSpelling)
{
    try {
        visitUnitText("build: {} Build: {}");
        FAIL() << "duplicate accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Key already exists: build");
    }
}

TEST(VisitorUnits, AddTargetKeepsTheFirstTarget)
{
    Zarn::Unit unit;
    Zarn::Target first;
    first.name.target = "one";
    Zarn::Target second;
    second.name.target = "two";
    unit.addTarget(std::move(first));
    unit.addTarget(std::move(second));
    EXPECT_EQ(unit.firstTarget, "one");
    Zarn::Target again;
    again.name.target = "ONE";
    again.parameterNames = {"x"};
    EXPECT_THROW(unit.addTarget(std::move(again)), std::invalid_argument);
    EXPECT_TRUE(unit.targets.at("one").parameterNames.empty());
    EXPECT_EQ(unit.targets.size(), 2u);
}

TEST(VisitorUnits, DirectDependenciesFillTheirParts)
{
    auto unit = visitUnitText("t: core lib::core other/lib::core {}");
    const auto& dependencies = unit->targets.at("t").dependencies;
    ASSERT_EQ(dependencies.size(), 3u);
    EXPECT_EQ(directTarget(dependencies[0]).toString(), "/::core");
    EXPECT_EQ(directTarget(dependencies[1]).toString(), "/lib::core");
    EXPECT_EQ(directTarget(dependencies[2]).toString(), "other/lib::core");
    EXPECT_EQ(dependencies[0].modifier, 0u);
    EXPECT_EQ(dependencies[0].aliasKind, 0u);
    EXPECT_FALSE(dependencies[0].sourceValue);
}

TEST(VisitorUnits, ModifierAliasAndParameters)
{
    auto unit = visitUnitText("t: +core(a.b, c) => c  x +> merged {}");
    const auto& dependencies = unit->targets.at("t").dependencies;
    ASSERT_EQ(dependencies.size(), 2u);
    EXPECT_EQ(dependencies[0].modifier, 1u);
    EXPECT_EQ(dependencies[0].aliasKind, 1u);
    EXPECT_EQ(dependencies[0].alias, "c");
    ASSERT_EQ(dependencies[0].parameters.size(), 2u);
    EXPECT_EQ(dependencies[0].parameters[0].segments.size(), 2u);
    EXPECT_EQ(dependencies[1].aliasKind, 2u);
    EXPECT_EQ(dependencies[1].alias, "merged");
    EXPECT_EQ(directTarget(dependencies[1]).target, "x");
}

TEST(VisitorUnits, MacroDependenciesAndTheSourceMarker)
{
    auto unit = visitUnitText("t: @deps(., x) @more {}");
    const auto& dependencies = unit->targets.at("t").dependencies;
    ASSERT_EQ(dependencies.size(), 2u);
    const auto& macro = std::get<Zarn::DependencyMacro>(dependencies[0].target);
    EXPECT_TRUE(macro.hasSourceParameter);
    EXPECT_EQ(macro.identifier.segments.at(0).name, "deps");
    ASSERT_EQ(dependencies[0].parameters.size(), 1u);
    EXPECT_EQ(dependencies[0].parameters[0].segments.at(0).name, "x");
    EXPECT_FALSE(std::get<Zarn::DependencyMacro>(dependencies[1].target).hasSourceParameter);

    EXPECT_EQ(zarnMessage("t: @deps(x, .) {}"),
              "The source parameter marker '.' must be the first dependency parameter.");
    EXPECT_EQ(zarnMessage("t: core(.) {}"),
              "The source parameter marker '.' can only be used with a dynamic dependency.");
    // The dynamic test comes first.
    EXPECT_EQ(zarnMessage("t: core(x, .) {}"),
              "The source parameter marker '.' can only be used with a dynamic dependency.");
}

TEST(VisitorUnits, ErrorsInsideATargetPassThrough)
{
    EXPECT_THROW(visitUnitText("a: {} t: { !x = 1 }"), std::runtime_error);
}
