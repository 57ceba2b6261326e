#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "loader/zarn_unit.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_app.h"
#include "zarn_runtime_contexts.h"

namespace fs = std::filesystem;
using Zarn::Assignment;

namespace {

// A temporary directory that is the current directory while the object lives.
class ScopedTempCwd {
public:
    ScopedTempCwd()
    {
        std::string pattern = (fs::temp_directory_path() / "zarn-rc-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        dir = fs::canonical(dir);
        saved = fs::current_path();
        fs::current_path(dir);
    }
    ~ScopedTempCwd()
    {
        fs::current_path(saved);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    void write(const fs::path& file, const std::string& text) const
    {
        fs::create_directories((dir / file).parent_path());
        std::ofstream(dir / file) << text;
    }
    fs::path dir;

private:
    fs::path saved;
};

Zarn::Profile makeProfile(const std::string& name, std::vector<Assignment> assignments,
                          std::vector<Zarn::Condition> conditions = {})
{
    return Zarn::Profile{name, std::make_shared<Zarn::ContextTemplate>(std::move(assignments), std::move(conditions))};
}

Assignment set(const std::string& name, const std::string& text) { return Assignment(name, Zarn::makeString(text), Assignment::Set); }

Zarn::ProjectPtr makeProject(const std::string& name, const fs::path& file)
{
    auto project = std::make_shared<Zarn::Project>();
    project->name = name;
    project->file = file;
    return project;
}

std::string text(const Zarn::Context& context, const std::string& name) { return Zarn::getString(context, name); }

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
    const auto variables = Zarn::builtinVariables("/r/p", localTime(2026, 3, 5));
    struct Expected {
        const char* name;
        std::string text;
        Assignment::AssignType type;
    };
    const std::vector<Expected> expected{
        {"os_family", "unix", Assignment::SetIfUnset},  {"year", "2026", Assignment::SetIfUnset},
        {"month", "3", Assignment::SetIfUnset},         {"day", "5", Assignment::SetIfUnset},
        {"project_root", "/r/p", Assignment::Set},      {"output_def_dir", "out", Assignment::Set},
        {"cwd", fs::current_path().string(), Assignment::SetIfUnset},
    };
    ASSERT_EQ(variables.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(variables[i].name, expected[i].name);
        ASSERT_TRUE(variables[i].value) << expected[i].name;
        EXPECT_TRUE(std::dynamic_pointer_cast<Zarn::ZarnString>(variables[i].value)) << expected[i].name;
        EXPECT_EQ(variables[i].value->toString(), expected[i].text) << expected[i].name;
        EXPECT_EQ(variables[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(variables[i].flags, Assignment::NoFlags);
    }
}

TEST(BuiltinVariables, TwoDigitDatesAndTheLastDayOfTheYear)
{
    const auto variables = Zarn::builtinVariables("", localTime(1999, 12, 31));
    EXPECT_EQ(variables[1].value->toString(), "1999");
    EXPECT_EQ(variables[2].value->toString(), "12");
    EXPECT_EQ(variables[3].value->toString(), "31");
    EXPECT_EQ(variables[4].value->toString(), "");
}

TEST(BuiltinVariables, ADriveRootInTheCurrentDirectoryMeansWindows)
{
    ScopedTempCwd cwd;
    cwd.write("C:\\", "");
    const auto variables = Zarn::builtinVariables("/r", std::time(nullptr));
    EXPECT_EQ(variables[0].name, "os_family");
    EXPECT_EQ(variables[0].value->toString(), "windows");
}

TEST(BuiltinVariables, ApplicationAddsThemToTheGlobalContext)
{
    ZarnApplication app;
    app.projectRoot = "/some/root";
    app.addBuiltinVariables();
    EXPECT_EQ(text(app.globalContext, "PROJECT_ROOT"), "/some/root");
    EXPECT_EQ(text(app.globalContext, "output_def_dir"), "out");
    EXPECT_EQ(app.globalContext.variables.size(), 7u);
}

// Weakest to strongest: built-in, project_root, "default" profile, selected
// profile with PROFILE, command line.
class RuntimeContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.projectRoot = "/root";
        app.addBuiltinVariables();
        project = makeProject("main", "/p/.zarn_project.txt");
        project->profiles.emplace("Default", makeProfile("Default", {set("a", "default"), set("b", "default"),
                                                                   set("output_def_dir", "build")}));
        project->profiles.emplace("debug", makeProfile("debug", {set("a", "debug"), set("c", "debug")}));
        app.mainProject = project;
    }

    ZarnApplication app;
    Zarn::ProjectPtr project;
};

TEST_F(RuntimeContextTest, PrecedenceOfTheLayers)
{
    project->selectedProfile = "debug";
    app.commandLineContext.addAssignment(set("c", "cli"), 0);
    const Zarn::Context context = app.CreateImplicitContextForProject(project);
    EXPECT_EQ(text(context, "project_root"), "/p");
    EXPECT_EQ(text(context, "output_def_dir"), "build");
    EXPECT_EQ(text(context, "b"), "default");
    EXPECT_EQ(text(context, "a"), "debug");
    EXPECT_EQ(text(context, "c"), "cli");
    EXPECT_EQ(text(context, "PROFILE"), "debug");
    EXPECT_EQ(text(context, "year"), text(app.globalContext, "year"));
}

TEST_F(RuntimeContextTest, WithoutASelectedProfileThereIsNoProfileVariable)
{
    const Zarn::Context context = app.CreateImplicitContextForProject(project);
    EXPECT_FALSE(Zarn::hasVariable(context, "PROFILE"));
    EXPECT_EQ(text(context, "a"), "default");
    EXPECT_FALSE(Zarn::hasVariable(context, "c"));
}

TEST_F(RuntimeContextTest, CommandModeKeepsTheCommandLineApart)
{
    app.commandMode = true;
    project->selectedProfile = "debug";
    app.commandLineContext.addAssignment(set("c", "cli"), 0);
    EXPECT_EQ(text(app.CreateImplicitContextForProject(project), "c"), "debug");

    app.applyProfile();
    EXPECT_FALSE(Zarn::hasVariable(app.profileContext, "c"));
    EXPECT_EQ(text(app.profileContext, "project_root"), "/root");
}

TEST_F(RuntimeContextTest, ProfileContextOfARunWithoutProject)
{
    app.commandLineContext.addAssignment(set("output_def_dir", "cli"), 0);
    app.applyProfile();
    EXPECT_EQ(text(app.profileContext, "output_def_dir"), "cli");
    EXPECT_EQ(text(app.profileContext, "project_root"), "/root");
    EXPECT_FALSE(Zarn::hasVariable(app.profileContext, "PROFILE"));
}

TEST_F(RuntimeContextTest, ProfileConditionsFollowTheirVariables)
{
    Zarn::Condition condition;
    condition.lhs = Zarn::makeString("a");
    condition.op = Zarn::Condition::Test;
    condition.context = std::make_shared<Zarn::ContextTemplate>();
    project->profiles.emplace("release", makeProfile("release", {set("r", "1")}, {condition}));
    project->selectedProfile = "release";
    const Zarn::Context context = app.CreateImplicitContextForProject(project);
    EXPECT_EQ(context.conditions.size(), 1u);
    EXPECT_EQ(text(context, "r"), "1");
}

TEST_F(RuntimeContextTest, AMissingSelectedProfileIsNotFound)
{
    project->selectedProfile = "nope";
    try {
        app.CreateImplicitContextForProject(project);
        FAIL();
    } catch (const Zarn::NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "profile 'nope' not found.");
    }
}

TEST_F(RuntimeContextTest, ImportedProjectsGetTheirOwnContexts)
{
    auto lib = makeProject("lib", "/q/.zarn_project.txt");
    lib->selectedProfile = "";
    project->importedProjects.push_back(lib);
    app.CreateProjectRuntimeContexts(project);
    ASSERT_EQ(app.projectRuntimeContexts.size(), 2u);
    EXPECT_EQ(app.projectRuntimeContexts.at("LIB").project, lib);
    EXPECT_EQ(text(app.projectRuntimeContexts.at("lib").context, "project_root"), "/q");
    EXPECT_EQ(text(app.projectRuntimeContexts.at("main").context, "project_root"), "/p");
    // The imported project has no "default" profile of its own.
    EXPECT_FALSE(Zarn::hasVariable(app.projectRuntimeContexts.at("lib").context, "a"));
}

TEST_F(RuntimeContextTest, ANamespaceUsedTwiceFails)
{
    project->importedProjects.push_back(makeProject("Lib", "/q/.zarn_project.txt"));
    project->importedProjects.push_back(makeProject("lib", "/r/.zarn_project.txt"));
    try {
        app.CreateProjectRuntimeContexts(project);
        FAIL();
    } catch (const Zarn::ZarnException& error) {
        EXPECT_EQ(error.getMessage(), "Project namespace 'lib' is used more than once.");
    }
}

TEST_F(RuntimeContextTest, ANullProjectIsAnInternalError)
{
    EXPECT_THROW(app.CreateImplicitContextForProject(nullptr), Zarn::InternalError);
    EXPECT_THROW(app.CreateProjectRuntimeContexts(nullptr), Zarn::InternalError);
    EXPECT_THROW(app.ResolveProjectImports(nullptr), Zarn::InternalError);
}

// Positionals against a project with the unit "app" (targets first, other)
// and the profiles debug and release.
void prepareProjectWithTargets(ZarnApplication& app)
{
    auto unit = std::make_shared<Zarn::Unit>();
    unit->name = "app";
    for (const char* name : {"first", "other"}) {
        Zarn::Target target;
        target.name = Zarn::QualifiedTargetName("proj", "app", name);
        unit->addTarget(std::move(target));
    }
    app.unitTable.addUnit("proj", "app", unit);
    app.unitTable.mainNamespace = "proj";
    app.unitTable.mainUnit = "app";
    app.mainTarget = Zarn::QualifiedTargetName("proj", "app", "first");
    app.mainProject = makeProject("proj", "/p/.zarn_project.txt");
    app.mainProject->profiles.emplace("Debug", makeProfile("Debug", {set("a", "d")}));
    app.mainProject->profiles.emplace("release", makeProfile("release", {}));
}

void applyPositionals(ZarnApplication& app, std::vector<std::string> positionals)
{
    app.positionalArguments = std::move(positionals);
    app.selectProfile();
    app.applyCommandLineArguments();
}

// Positionals against a project with the unit "app" (targets first, other)
// and the profiles Debug and release.
class PositionalTest : public ::testing::Test {
protected:
    void SetUp() override { prepareProjectWithTargets(app); }
    void apply(std::vector<std::string> positionals) { applyPositionals(app, std::move(positionals)); }

    ZarnApplication app;
};

TEST(Positionals, TargetProfileAndAssignmentInAnyOrder)
{
    const std::vector<std::vector<std::string>> orders{
        {"debug", "x=1", "other"}, {"other", "debug", "x=1"}, {"x=1", "other", "DEBUG"}};
    for (const auto& order : orders) {
        ZarnApplication app;
        prepareProjectWithTargets(app);
        applyPositionals(app, order);
        EXPECT_EQ(app.mainTarget.toString(), "proj/app::other") << order[0];
        ASSERT_TRUE(app.selectedProfile) << order[0];
        EXPECT_EQ(app.selectedProfile->name, "Debug");
        EXPECT_EQ(app.mainProject->selectedProfile, "Debug");
        EXPECT_EQ(text(app.commandLineContext, "x"), "1");
        EXPECT_EQ(app.commandLineContext.variables.size(), 1u);
    }
}

TEST_F(PositionalTest, OnlyTheFirstTargetCounts)
{
    testing::internal::CaptureStdout();
    apply({"other", "first"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(app.mainTarget.target, "other");
    EXPECT_NE(out.find("Only one target name can be specified\n"), std::string::npos);
}

TEST_F(PositionalTest, AQualifiedTargetKeepsTheMainPartsItLeavesEmpty)
{
    apply({"app::other"});
    EXPECT_EQ(app.mainTarget.toString(), "proj/app::other");
}

TEST_F(PositionalTest, TwoProfilesFail)
{
    for (const auto& positionals :
         std::vector<std::vector<std::string>>{{"debug", "release"}, {"debug", "debug"}, {"Debug", "DEBUG"}}) {
        ZarnApplication fresh;
        prepareProjectWithTargets(fresh);
        try {
            applyPositionals(fresh, positionals);
            ADD_FAILURE() << positionals[1];
        } catch (const Zarn::ZarnException& error) {
            EXPECT_EQ(error.getMessage(), "Profile already set to 'Debug'. It can only be set once.");
        }
    }
}

TEST_F(PositionalTest, ADifferentProfileAfterSelectionFailsInTheArgumentPass)
{
    app.selectedProfile = std::make_shared<Zarn::Profile>(app.mainProject->profiles.at("release"));
    app.positionalArguments = {"release", "debug"};
    EXPECT_THROW(app.applyCommandLineArguments(), Zarn::ZarnException);
}

TEST_F(PositionalTest, WithoutAProjectAProfileNameIsADeclaration)
{
    app.mainProject.reset();
    apply({"debug"});
    EXPECT_FALSE(app.selectedProfile);
    ASSERT_TRUE(Zarn::hasVariable(app.commandLineContext, "debug"));
    const auto& declared = app.commandLineContext.variables.at("debug");
    EXPECT_EQ(declared.type, Assignment::Declare);
    EXPECT_FALSE(declared.value);
}

TEST_F(PositionalTest, TextThatIsNoAssignmentFails)
{
    app.positionalArguments = {"= 3"};
    EXPECT_THROW(app.applyCommandLineArguments(), std::runtime_error);
}

// Imports read real project files.
class ImportTest : public ::testing::Test {
protected:
    Zarn::ProjectPtr loadMain(const std::string& selectedProfile = "")
    {
        auto project = makeProject("", cwd.dir / "main" / ".zarn_project.txt");
        app.LoadProjectFile(*project);
        project->selectedProfile = selectedProfile;
        return project;
    }

    ScopedTempCwd cwd;
    ZarnApplication app;
};

TEST_F(ImportTest, SourceProfilesAliasesAndImportProfiles)
{
    cwd.write("main/.zarn_project.txt",
              "name main\n"
              "import {\n"
              "  Release: \"../lib/.zarn_project.txt\" rlib;\n"
              "  debug: \"../lib/.zarn_project.txt\" dlib (fast);\n"
              "  \"" + (cwd.dir / "lib" / ".zarn_project.txt").string() + "\";\n"
              "}\n"
              "profiles { release { } debug { } }\n");
    cwd.write("lib/.zarn_project.txt", "name lib\nprofiles { fast { } }\n");

    auto project = loadMain("RELEASE");
    app.ResolveProjectImports(project);
    ASSERT_EQ(project->importedProjects.size(), 2u);
    EXPECT_EQ(project->importedProjects[0]->name, "rlib");
    EXPECT_EQ(project->importedProjects[0]->selectedProfile, "");
    EXPECT_EQ(project->importedProjects[1]->name, "lib");

    project->selectedProfile = "debug";
    app.ResolveProjectImports(project);
    ASSERT_EQ(project->importedProjects.size(), 2u);
    EXPECT_EQ(project->importedProjects[0]->name, "dlib");
    EXPECT_EQ(project->importedProjects[0]->selectedProfile, "fast");
}

TEST_F(ImportTest, MissingProfilesAreNotFound)
{
    cwd.write("main/.zarn_project.txt", "name main\nimport { nothere: \"../lib/.zarn_project.txt\"; }\n");
    cwd.write("lib/.zarn_project.txt", "name lib\n");
    try {
        app.ResolveProjectImports(loadMain());
        FAIL();
    } catch (const Zarn::NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "profile 'nothere' not found.");
    }

    cwd.write("main/.zarn_project.txt", "name main\nimport { \"../lib/.zarn_project.txt\" (nothere); }\n");
    EXPECT_THROW(app.ResolveProjectImports(loadMain()), Zarn::NotFoundException);
}

TEST_F(ImportTest, RegistryImportsNeedARegistryAndTheName)
{
    cwd.write("main/.zarn_project.txt", "name main\nimport { shared; }\n");
    try {
        app.ResolveProjectImports(loadMain());
        FAIL();
    } catch (const Zarn::NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "registry '' not found.");
    }
}

TEST_F(ImportTest, ACycleIsAnErrorNamingTheChain)
{
    cwd.write("main/.zarn_project.txt", "name main\nimport { \"../lib/.zarn_project.txt\"; }\n");
    cwd.write("lib/.zarn_project.txt", "name lib\nimport { \"../main/.zarn_project.txt\" again; }\n");
    try {
        app.ResolveProjectImports(loadMain());
        FAIL();
    } catch (const Zarn::ZarnException& error) {
        const std::string main = (cwd.dir / "main" / ".zarn_project.txt").string();
        const std::string lib = (cwd.dir / "lib" / ".zarn_project.txt").string();
        EXPECT_EQ(error.getMessage(), "Import cycle: " + main + " -> " + lib + " -> " + main);
    }
}

TEST_F(ImportTest, AProjectImportingItselfIsACycle)
{
    cwd.write("main/.zarn_project.txt", "name main\nimport { \"./.zarn_project.txt\" self; }\n");
    EXPECT_THROW(app.ResolveProjectImports(loadMain()), Zarn::ZarnException);
}

TEST_F(ImportTest, ADiamondIsNoCycle)
{
    cwd.write("main/.zarn_project.txt",
              "name main\nimport { \"../b/.zarn_project.txt\"; \"../c/.zarn_project.txt\"; }\n");
    cwd.write("b/.zarn_project.txt", "name b\nimport { \"../d/.zarn_project.txt\" db; }\n");
    cwd.write("c/.zarn_project.txt", "name c\nimport { \"../d/.zarn_project.txt\" dc; }\n");
    cwd.write("d/.zarn_project.txt", "name d\n");
    auto project = loadMain();
    app.ResolveProjectImports(project);
    ASSERT_EQ(project->importedProjects.size(), 2u);
    EXPECT_EQ(project->importedProjects[0]->importedProjects.at(0)->name, "db");
    EXPECT_EQ(project->importedProjects[1]->importedProjects.at(0)->name, "dc");
}

}  // namespace
