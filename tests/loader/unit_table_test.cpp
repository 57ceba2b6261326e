#include <gtest/gtest.h>

#include "loader/unit_table.h"
#include "test_support.h"

namespace {

using TestSupport::visitUnitText;

class UnitTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.addUnit("APP", "lib", visitUnitText("unit lib Build: {} test: {}"));
        table.addUnit("APP", "main", visitUnitText("unit main run: {}"));
        table.addUnit("", "misc", visitUnitText("unit misc gen: {}"));
        table.mainNamespace = "app";
        table.mainUnit = "Main";
    }

    // The unit's or target's name, or the failure's message, then the name
    // as filled in.
    std::string getUnit(Util::CiString space, Util::CiString unitName)
    {
        const std::string result = found([&] { return table.getUnit(space, unitName)->name; });
        return result + " " + space.str() + "/" + unitName.str();
    }
    std::string getTarget(const std::string& text)
    {
        auto name = Zarn::QualifiedTargetName::parse(text);
        const std::string result = found([&] { return table.getTarget(name).name.target; });
        return result + " " + name.toString();
    }
    template <class Lookup>
    static std::string found(Lookup lookup)
    {
        try {
            return lookup();
        } catch (const Zarn::NotFoundException& error) {
            return error.getMessage();
        }
    }

    UnitTable table;
};

}  // namespace

// Both levels ignore case; empty parts are filled in place from the defaults,
// even when the lookup fails.
TEST_F(UnitTableTest, LookupsFillDefaultsAndNameWhatIsMissing)
{
    EXPECT_EQ(getUnit("app", "LIB"), "lib app/LIB");
    EXPECT_EQ(getUnit("", ""), "main app/Main");
    EXPECT_EQ(getUnit("other", "lib"), "Namespace 'other' not found. other/lib");
    EXPECT_EQ(getTarget("RUN"), "run app/Main::RUN");
    EXPECT_EQ(getTarget("lib::build"), "Build app/lib::build");
    EXPECT_EQ(getTarget("lib::nothing"), "Target 'app/lib::nothing' not found. app/lib::nothing");
    table.mainNamespace = "";
    EXPECT_EQ(getUnit("", "lib"), "Unit 'lib' not found. /lib");
    // Command mode keeps its unit under the empty keys.
    table.mainUnit = "";
    table.addUnit("", "", visitUnitText("unit cmdline"));
    EXPECT_EQ(getUnit("", ""), "cmdline /");
}

