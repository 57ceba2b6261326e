// Built-in variables, profiles, positionals, imports and the runtime
// contexts of the projects.
#include <gtest/gtest.h>

#include <ctime>

#include "loader/zarn_unit.h"
#include "test_support.h"
#include "zarn_app.h"
#include "zarn_runtime_contexts.h"

namespace fs = std::filesystem;
using Zarn::Assignment;
using namespace TestSupport;

namespace {

std::time_t localTime(int year, int month, int day)
{
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

TEST(BuiltinVariables, NamesValuesAndOperatorsInOrder)
{
    Sandbox sandbox;
    std::vector<std::string> texts;
    for (const Assignment& variable : Zarn::builtinVariables("/r/p", localTime(2026, 3, 5))) {
        texts.push_back(variable.toString());
        EXPECT_EQ(variable.flags, Assignment::NoFlags);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"os_family ?= \"unix\"", "year ?= \"2026\"", "month ?= \"3\"",
                                               "day ?= \"5\"", "project_root = \"/r/p\"", "output_def_dir = \"out\"",
                                               "cwd ?= \"" + sandbox.work().string() + "\""}));
    // A drive root in the current directory means Windows.
    sandbox.write("C:\\", "");
    EXPECT_EQ(Zarn::builtinVariables("/r", std::time(nullptr)).at(0).value->toString(), "windows");
}

Zarn::Profile profile(const std::string& name, std::vector<Assignment> assignments,
                      std::vector<Zarn::Condition> conditions = {})
{
    return Zarn::Profile{name, std::make_shared<Zarn::ContextTemplate>(std::move(assignments), std::move(conditions))};
}

// A project "proj" with the profiles Default, Debug (with a condition) and
// release, and the unit "app" with the targets first and other. Project
// files written by a test are read from the sandbox.
class RuntimeContextTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }

    // A fresh application and project.
    void reset()
    {
        app = std::make_unique<ZarnApplication>();
        app->projectRoot = "/root";
        app->addBuiltinVariables();
        Zarn::Condition condition;
        condition.lhs = str("a");
        condition.op = Zarn::Condition::Test;
        condition.context = std::make_shared<Zarn::ContextTemplate>();
        project = makeProject("proj", "/p/.zarn_project.txt");
        project->profiles.emplace("Default", profile("Default", {set("a", str("default")), set("b", str("default")),
                                                                 set("output_def_dir", str("build"))}));
        project->profiles.emplace("Debug",
                                  profile("Debug", {set("a", str("debug")), set("c", str("debug"))}, {condition}));
        project->profiles.emplace("release", profile("release", {}));
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

    // Loads sandbox/main/.zarn_project.txt.
    Zarn::ProjectPtr loadMain(const std::string& selectedProfile = "")
    {
        auto main = makeProject("", sandbox.work() / "main" / ".zarn_project.txt");
        app->LoadProjectFile(*main);
        main->selectedProfile = selectedProfile;
        return main;
    }

    Sandbox sandbox;
    std::unique_ptr<ZarnApplication> app;
    Zarn::ProjectPtr project;
};

// The texts of the variables, "-" for one that is not there.
std::string textsOf(const Zarn::Context& context, std::vector<const char*> names)
{
    std::string texts;
    for (const char* name : names)
        texts += (texts.empty() ? "" : " ") + (Zarn::hasVariable(context, name) ? textOf(context, name) : "-");
    return texts;
}

// Weakest to strongest: built-in, project_root, "default" profile, selected
// profile with PROFILE and its conditions, command line.
TEST_F(RuntimeContextTest, PrecedenceOfTheLayers)
{
    const std::vector<const char*> names{"project_root", "output_def_dir", "a", "b", "c", "PROFILE"};
    app->commandLineContext.addAssignment(set("c", str("cli")), 0);
    Zarn::Context context = app->CreateImplicitContextForProject(project);
    EXPECT_EQ(textsOf(context, names), "/p build default default cli -");
    EXPECT_TRUE(context.conditions.empty());

    project->selectedProfile = "Debug";
    context = app->CreateImplicitContextForProject(project);
    EXPECT_EQ(textsOf(context, names), "/p build debug default cli Debug");
    EXPECT_EQ(textOf(context, "year"), textOf(app->globalContext, "year"));
    EXPECT_EQ(context.conditions.size(), 1u);
}

TEST_F(RuntimeContextTest, TargetProfileAndAssignmentInAnyOrder)
{
    for (const auto& order : std::vector<std::vector<std::string>>{
             {"debug", "x=1", "other"}, {"app::other", "DEBUG", "x=1"}, {"x=1", "other", "debug", "first"}}) {
        reset();
        const std::string log = applyPositionals(order);
        EXPECT_EQ(app->mainTarget.toString(), "proj/app::other") << order[0];
        ASSERT_TRUE(app->selectedProfile) << order[0];
        EXPECT_EQ(app->selectedProfile->name, "Debug");
        EXPECT_EQ(app->mainProject->selectedProfile, "Debug");
        EXPECT_EQ(textOf(app->commandLineContext, "x"), "1");
        EXPECT_EQ(app->commandLineContext.variables.size(), 1u);
        EXPECT_EQ(log, order.size() == 4 ? "Only one target name can be specified\n" : "") << order[0];
    }
}

TEST_F(RuntimeContextTest, WithoutAProjectAProfileNameIsADeclaration)
{
    app->mainProject.reset();
    applyPositionals({"debug"});
    EXPECT_FALSE(app->selectedProfile);
    ASSERT_TRUE(Zarn::hasVariable(app->commandLineContext, "debug"));
    EXPECT_EQ(app->commandLineContext.variables.at("debug").type, Assignment::Declare);
    EXPECT_FALSE(app->commandLineContext.variables.at("debug").value);
}

TEST_F(RuntimeContextTest, ErrorMessages)
{
    project->selectedProfile = "nope";
    EXPECT_EQ(errorOf([&] { app->CreateImplicitContextForProject(project); }), "Zarn: profile 'nope' not found.");
    project->selectedProfile = "";
    project->importedProjects = {makeProject("Lib", "/q/.zarn_project.txt"),
                                 makeProject("lib", "/r/.zarn_project.txt")};
    EXPECT_EQ(errorOf([&] { app->CreateProjectRuntimeContexts(project); }),
              "Zarn: Project namespace 'lib' is used more than once.");

    sandbox.write("lib/.zarn_project.txt", "name lib\n");
    const std::pair<std::string, std::string> imports[] = {
        {"nothere: \"../lib/.zarn_project.txt\";", "Zarn: profile 'nothere' not found."},
        {"\"../lib/.zarn_project.txt\" (nothere);", "Zarn: profile 'nothere' not found."},
        {"shared;", "Zarn: registry '' not found."},
    };
    for (const auto& import : imports) {
        sandbox.write("main/.zarn_project.txt", "name main\nimport { " + import.first + " }\n");
        EXPECT_EQ(errorOf([&] { app->ResolveProjectImports(loadMain()); }), import.second) << import.first;
    }
}

// A source profile picks its imports, an alias renames the project, and an
// import profile becomes the imported project's selected profile.
TEST_F(RuntimeContextTest, SourceProfilesAliasesAndImportProfiles)
{
    sandbox.write("main/.zarn_project.txt",
                  "name main\n"
                  "import {\n"
                  "  Release: \"../lib/.zarn_project.txt\" rlib;\n"
                  "  debug: \"../lib/.zarn_project.txt\" dlib (fast);\n"
                  "  \"" + (sandbox.work() / "lib" / ".zarn_project.txt").string() + "\";\n"
                  "}\n"
                  "profiles { release { } debug { } }\n");
    sandbox.write("lib/.zarn_project.txt", "name lib\nprofiles { fast { } }\n");

    auto main = loadMain("RELEASE");
    app->ResolveProjectImports(main);
    ASSERT_EQ(main->importedProjects.size(), 2u);
    EXPECT_EQ(main->importedProjects[0]->name, "rlib");
    EXPECT_EQ(main->importedProjects[0]->selectedProfile, "");
    EXPECT_EQ(main->importedProjects[1]->name, "lib");

    main->selectedProfile = "debug";
    app->ResolveProjectImports(main);
    ASSERT_EQ(main->importedProjects.size(), 2u);
    EXPECT_EQ(main->importedProjects[0]->name, "dlib");
    EXPECT_EQ(main->importedProjects[0]->selectedProfile, "fast");
}

// A project importing itself, directly or through others, is a cycle named
// by its chain of files; a diamond is none.
TEST_F(RuntimeContextTest, ImportCyclesAreErrorsNamingTheChain)
{
    const std::string mainFile = (sandbox.work() / "main" / ".zarn_project.txt").string();
    const std::string libFile = (sandbox.work() / "lib" / ".zarn_project.txt").string();
    sandbox.write("main/.zarn_project.txt", "name main\nimport { \"../lib/.zarn_project.txt\"; }\n");
    sandbox.write("lib/.zarn_project.txt", "name lib\nimport { \"../main/.zarn_project.txt\" again; }\n");
    EXPECT_EQ(errorOf([&] { app->ResolveProjectImports(loadMain()); }),
              "Zarn: Import cycle: " + mainFile + " -> " + libFile + " -> " + mainFile);

    sandbox.write("main/.zarn_project.txt", "name main\nimport { \"./.zarn_project.txt\" self; }\n");
    EXPECT_EQ(errorOf([&] { app->ResolveProjectImports(loadMain()); }),
              "Zarn: Import cycle: " + mainFile + " -> " + mainFile);

    sandbox.write("main/.zarn_project.txt",
                  "name main\nimport { \"../b/.zarn_project.txt\"; \"../c/.zarn_project.txt\"; }\n");
    sandbox.write("b/.zarn_project.txt", "name b\nimport { \"../d/.zarn_project.txt\" db; }\n");
    sandbox.write("c/.zarn_project.txt", "name c\nimport { \"../d/.zarn_project.txt\" dc; }\n");
    sandbox.write("d/.zarn_project.txt", "name d\n");
    auto main = loadMain();
    app->ResolveProjectImports(main);
    ASSERT_EQ(main->importedProjects.size(), 2u);
    EXPECT_EQ(main->importedProjects[0]->importedProjects.at(0)->name, "db");
    EXPECT_EQ(main->importedProjects[1]->importedProjects.at(0)->name, "dc");
}

}  // namespace
