// The positionals of the command line: target, profile and assignments.
#include <gtest/gtest.h>

#include "loader/zarn_unit.h"
#include "test_support.h"
#include "zarn_app.h"

using Zarn::Assignment;
using namespace TestSupport;

namespace {

// A project "proj" with the profiles Debug and release, and the unit "app"
// with the targets first and other.
class PositionalsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }

    void reset()
    {
        app = std::make_unique<ZarnApplication>();
        auto project = makeProject("proj", "/p/.zarn_project.txt");
        for (const char* name : {"Debug", "release"})
            project->profiles.emplace(name, Zarn::Profile{name, std::make_shared<Zarn::ContextTemplate>()});
        app->mainProject = project;
        auto unit = std::make_shared<Zarn::Unit>();
        unit->name = "app";
        for (const char* name : {"first", "other"}) {
            Zarn::Target target;
            target.name = Zarn::QualifiedTargetName("proj", "app", name);
            unit->addTarget(std::move(target));
        }
        app->unitTable.addUnit("proj", "app", unit);
        app->unitTable.mainNamespace = "proj";
        app->unitTable.mainUnit = "app";
        app->mainTarget = Zarn::QualifiedTargetName("proj", "app", "first");
    }

    std::string applyPositionals(std::vector<std::string> positionals)
    {
        app->positionalArguments = std::move(positionals);
        return captureLog(LogLevel::Error, [&] {
            app->selectProfile();
            app->applyCommandLineArguments();
        });
    }

    std::unique_ptr<ZarnApplication> app;
};

TEST_F(PositionalsTest, TargetProfileAndAssignmentInAnyOrder)
{
    for (const auto& order : std::vector<std::vector<std::string>>{
             {"app::other", "DEBUG", "x=1"}, {"x=1", "other", "debug", "first"}}) {
        reset();
        const std::string log = applyPositionals(order);
        EXPECT_EQ(app->mainTarget.toString(), "proj/app::other") << order[0];
        ASSERT_TRUE(app->selectedProfile) << order[0];
        EXPECT_EQ(app->mainProject->selectedProfile, "Debug");
        EXPECT_EQ(textOf(app->commandLineContext, "x"), "1");
        EXPECT_EQ(app->commandLineContext.variables.size(), 1u);
        EXPECT_EQ(log, order.size() == 4 ? "Only one target name can be specified\n" : "") << order[0];
    }
}

TEST_F(PositionalsTest, WithoutAProjectAProfileNameIsADeclaration)
{
    app->mainProject.reset();
    applyPositionals({"debug"});
    EXPECT_FALSE(app->selectedProfile);
    ASSERT_TRUE(Zarn::hasVariable(app->commandLineContext, "debug"));
    EXPECT_EQ(app->commandLineContext.variables.at("debug").type, Assignment::Declare);
}

}  // namespace
