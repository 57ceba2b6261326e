#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "loader/unit_table.h"
#include "types/zarn_exceptions.h"

namespace {

std::shared_ptr<Zarn::Unit> makeUnit(const std::string& name, std::initializer_list<const char*> targets)
{
    auto unit = std::make_shared<Zarn::Unit>();
    unit->name = name;
    for (const char* targetName : targets) {
        Zarn::Target target;
        target.name = Zarn::QualifiedTargetName("", name, targetName);
        unit->addTarget(std::move(target));
    }
    return unit;
}

// "kind|name" of the lookup's NotFoundException, or "found".
std::string lookupFailure(UnitTable& table, const std::string& text)
{
    auto name = Zarn::QualifiedTargetName::parse(text);
    try {
        table.getTarget(name);
        return "found";
    } catch (const Zarn::NotFoundException& error) {
        return error.kind + "|" + error.name;
    }
}

class UnitTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.addUnit("APP", "lib", makeUnit("lib", {"Build", "test"}));
        table.addUnit("APP", "main", makeUnit("main", {"run"}));
        table.addUnit("", "tools", makeUnit("tools", {"gen"}));
        table.mainNamespace = "app";
        table.mainUnit = "Main";
    }
    UnitTable table;
};

}  // namespace

TEST_F(UnitTableTest, GetUnitIgnoresCaseAndFillsDefaults)
{
    Util::CiString space = "app";
    Util::CiString unitName = "LIB";
    EXPECT_EQ(table.getUnit(space, unitName)->name, "lib");

    Util::CiString emptySpace;
    Util::CiString emptyUnit;
    EXPECT_EQ(table.getUnit(emptySpace, emptyUnit)->name, "main");
    EXPECT_EQ(emptySpace.str(), "app");
    EXPECT_EQ(emptyUnit.str(), "Main");
}

TEST_F(UnitTableTest, GetUnitNamesTheMissingLevel)
{
    struct Case {
        const char* nameSpace;
        const char* unit;
        const char* kind;
        const char* name;
    };
    const Case cases[] = {
        {"other", "lib", "Namespace", "other"},
        {"app", "nope", "Unit", "app/nope"},
        {"", "x", "Unit", "app/x"},
    };
    for (const auto& c : cases) {
        Util::CiString space = c.nameSpace;
        Util::CiString unitName = c.unit;
        try {
            table.getUnit(space, unitName);
            ADD_FAILURE() << c.nameSpace << "/" << c.unit << " found";
        } catch (const Zarn::NotFoundException& error) {
            EXPECT_EQ(error.kind, c.kind);
            EXPECT_EQ(error.name, c.name);
        }
    }
    table.mainNamespace = "";
    Util::CiString space;
    Util::CiString unitName = "lib";
    try {
        table.getUnit(space, unitName);
        ADD_FAILURE() << "found in the empty namespace";
    } catch (const Zarn::NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "Unit 'lib' not found.");
    }
}

TEST_F(UnitTableTest, GetTargetFillsTheNameEvenWhenItFails)
{
    auto name = Zarn::QualifiedTargetName::parse("RUN");
    EXPECT_EQ(table.getTarget(name).name.target, "run");
    EXPECT_EQ(name.toString(), "app/Main::RUN");

    auto missing = Zarn::QualifiedTargetName::parse("lib::nothing");
    EXPECT_THROW(table.getTarget(missing), Zarn::NotFoundException);
    EXPECT_EQ(missing.toString(), "app/lib::nothing");
}

TEST_F(UnitTableTest, GetTargetErrorNames)
{
    EXPECT_EQ(lookupFailure(table, "lib::build"), "found");
    EXPECT_EQ(lookupFailure(table, "lib::deploy"), "Target|app/lib::deploy");
    EXPECT_EQ(lookupFailure(table, "nope::x"), "Unit|app/nope");
    EXPECT_EQ(lookupFailure(table, "other/lib::x"), "Namespace|other");
    table.mainNamespace = "";
    EXPECT_EQ(lookupFailure(table, "tools::x"), "Target|tools::x");
}

TEST_F(UnitTableTest, HasTarget)
{
    EXPECT_TRUE(table.hasTarget("run"));
    EXPECT_TRUE(table.hasTarget("lib::BUILD"));
    EXPECT_FALSE(table.hasTarget("other/lib::x"));
    EXPECT_FALSE(table.hasTarget("debug"));
}

TEST_F(UnitTableTest, AddUnitReplacesAndReleases)
{
    auto first = makeUnit("one", {});
    std::weak_ptr<Zarn::Unit> watch = first;
    table.addUnit("app", "one", first);
    first.reset();
    table.addUnit("APP", "ONE", makeUnit("second", {}));
    EXPECT_TRUE(watch.expired());
    Util::CiString space = "app";
    Util::CiString unitName = "one";
    EXPECT_EQ(table.getUnit(space, unitName)->name, "second");
}

TEST(UnitTableCommandMode, EmptyKeysFindTheCommandUnit)
{
    UnitTable table;
    table.addUnit("", "", makeUnit("cmdline", {}));
    Util::CiString space;
    Util::CiString unitName;
    EXPECT_EQ(table.getUnit(space, unitName)->name, "cmdline");
    EXPECT_FALSE(table.hasTarget("anything"));
}
