// The per-user registry: reading, the exact written form, saves that never
// lose data, and the application's registry steps.
#include <gtest/gtest.h>

#include <unistd.h>

#include "loader_test_support.h"
#include "types/zarn_path_string.h"
#include "types/zarn_value_types.h"
#include "zarn_app.h"
#include "zarn_registry.h"
#include "zarn_tool.h"
#include "zarn_tool_type_registry.h"

namespace {

using namespace LoaderTestSupport;
namespace fs = std::filesystem;

const char* const nineLines =
    "projects {\n"
    "  alpha \"/w/alpha/.zarn_project.txt\"\n"
    "}\n"
    "\n"
    "tools {\n"
    "  gcc12 {\n"
    "    tool_type = \"gnu-gcc\"\n"
    "  }\n"
    "}\n";

class RegistryTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    fs::path file = sandbox.write(sandbox.home() / "reg" / ".zarn_registry.txt", "");

    ZarnRegistry loaded(const std::string& text)
    {
        sandbox.write(file, text);
        ZarnRegistry registry(file);
        registry.load();
        return registry;
    }

    // Saves and returns the written text.
    std::string saved(ZarnRegistry& registry)
    {
        captureLog(6, [&] { registry.save(); });
        return readFile(file);
    }

    const Zarn::Assignment& toolVariable(const ZarnRegistry& registry, const char* tool, std::size_t index)
    {
        return registry.tools.at(tool)->assignments.at(index);
    }
};

TEST_F(RegistryTest, MissingFileIsCreatedEmptyAndEmptyRegistrySavesEmptyFile)
{
    fs::remove(file);
    ZarnRegistry registry(file);
    std::string log = captureLog(0, [&] { registry.load(); });
    EXPECT_EQ(log, "");
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_TRUE(registry.projects.empty());
    EXPECT_TRUE(registry.tools.empty());
    EXPECT_EQ(saved(registry), "");
}

TEST_F(RegistryTest, ExampleRoundTripsExactlyAndReportsTheUpdate)
{
    ZarnRegistry registry = loaded(nineLines);
    ASSERT_EQ(registry.projects.size(), 1u);
    EXPECT_EQ(registry.projects.at("ALPHA"), fs::path("/w/alpha/.zarn_project.txt"));
    std::string log = captureLog(5, [&] { registry.save(); });
    EXPECT_EQ(readFile(file), nineLines);
    EXPECT_EQ(log, "Updated file '" + file.string() + "'.\n");
}

TEST_F(RegistryTest, SectionLayoutsAndCaseInsensitiveOrder)
{
    ZarnRegistry projectsOnly = loaded("projects { beta \"/b\" Alpha \"/a\" }");
    EXPECT_EQ(saved(projectsOnly), "projects {\n  Alpha \"/a\"\n  beta \"/b\"\n}\n");

    ZarnRegistry toolsOnly = loaded("tools { b { x = 1 } A { } }");
    EXPECT_EQ(saved(toolsOnly), "tools {\n  A {\n  }\n  b {\n    x = 1\n  }\n}\n");
}

TEST_F(RegistryTest, LaterEntryOfSameNameWinsAndKeepsFirstSpelling)
{
    ZarnRegistry registry = loaded("projects { Alpha \"/a/p.txt\" alpha \"/b/p.txt\" }");
    ASSERT_EQ(registry.projects.size(), 1u);
    EXPECT_EQ(registry.projects.begin()->first.str(), "Alpha");
    EXPECT_EQ(registry.projects.begin()->second, fs::path("/b/p.txt"));
}

TEST_F(RegistryTest, ShortPathLiteralLoadsAsPathAndWrittenPathsLoadBack)
{
    ZarnRegistry registry = loaded("tools { t { dir = P\"/opt/x\" } }");
    auto* path = dynamic_cast<Zarn::ZarnPathString*>(toolVariable(registry, "t", 0).value.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->fullPath(), fs::path("/opt/x"));

    std::string text = saved(registry);
    EXPECT_NE(text.find("dir = P\"/opt/x\""), std::string::npos);
    ZarnRegistry again(file);
    again.load();
    EXPECT_NE(dynamic_cast<Zarn::ZarnPathString*>(toolVariable(again, "t", 0).value.get()), nullptr);
}

// Only a P that begins a token is a short path literal: a list of strings
// ending in "P" must survive a load, a save and a second load.
TEST_F(RegistryTest, StringListsEndingInPSurviveSaveAndReload)
{
    ZarnRegistry registry = loaded("tools { t { flags = [ \"-DAPP\", \"-O2\", \"P\" ] } }");
    EXPECT_EQ(toolVariable(registry, "t", 0).value->toLiteral(), "[ \"-DAPP\", \"-O2\", \"P\" ]");
    saved(registry);
    ZarnRegistry again(file);
    again.load();
    EXPECT_EQ(toolVariable(again, "t", 0).value->toLiteral(), "[ \"-DAPP\", \"-O2\", \"P\" ]");
}

// A tool's "if" blocks take part in its use: a save must keep them too.
TEST_F(RegistryTest, SaveKeepsModifiersMissingValuesAndConditions)
{
    const std::string text = "tools {\n"
                             "  t {\n"
                             "    tool_type = \"command\"\n"
                             "    !cc = \"gcc\"\n"
                             "    ^out = \"o\"\n"
                             "    empty = {}\n"
                             "    if x {\n"
                             "      y = 1\n"
                             "      if arch.kind != \"arm\" {\n"
                             "        !cc = \"cc\"\n"
                             "      }\n"
                             "    }\n"
                             "    if level > 2 {\n"
                             "    }\n"
                             "  }\n"
                             "}\n";
    ZarnRegistry registry = loaded("tools { t { tool_type = \"command\" !cc = \"gcc\" if x { if arch.kind != \"arm\" "
                                   "{ !cc = \"cc\" } y = 1 } ^out = \"o\" empty = {} if level > 2 {} } }");
    EXPECT_EQ(saved(registry), text);
    ZarnRegistry again(file);
    again.load();
    EXPECT_EQ(toolVariable(again, "t", 1).flags, Zarn::Assignment::ToolFlag);
    EXPECT_EQ(toolVariable(again, "t", 2).flags, Zarn::Assignment::OutputFlag);
    EXPECT_EQ(toolVariable(again, "t", 3).type, Zarn::Assignment::Set);
    EXPECT_EQ(toolVariable(again, "t", 3).value, nullptr);
    const auto& conditions = again.tools.at("t")->conditions;
    ASSERT_EQ(conditions.size(), 2u);
    EXPECT_EQ(conditions[0].op, Zarn::Condition::Test);
    ASSERT_EQ(conditions[0].context->conditions.size(), 1u);
    EXPECT_EQ(conditions[0].context->conditions[0].op, Zarn::Condition::NotEqual);
    EXPECT_EQ(conditions[0].context->conditions[0].context->assignments.at(0).flags, Zarn::Assignment::ToolFlag);
    EXPECT_EQ(conditions[1].op, Zarn::Condition::Greater);
    EXPECT_EQ(saved(again), text);
}

TEST_F(RegistryTest, AFileThatFailedToLoadIsNeverOverwritten)
{
    const std::string broken = "projects { a \"/a\" }\ntools { t { x = } }\n";
    sandbox.write(file, broken);
    ZarnRegistry registry(file);
    EXPECT_EQ(errorOf([&] { registry.load(); }).rfind("std: " + file.string() + "(2,", 0), 0u);
    EXPECT_TRUE(registry.loadFailed);
    EXPECT_TRUE(registry.projects.empty());

    registry.projects["b"] = "/b";
    EXPECT_EQ(errorOf([&] { registry.save(); }),
              "std: Registry file '" + file.string() + "' could not be read; not overwriting it.");
    EXPECT_EQ(readFile(file), broken);
}

// Texts that would not read back are refused before the file is touched.
TEST_F(RegistryTest, SaveRefusesEntriesThatWouldNotReadBack)
{
    struct Case {
        const char* what;
        std::function<void(ZarnRegistry&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"empty project name", [](ZarnRegistry& r) { r.projects[""] = "/p"; },
         "project name '' is not a valid identifier"},
        {"keyword", [](ZarnRegistry& r) { r.projects["tools"] = "/p"; },
         "project name 'tools' is not a valid identifier"},
        {"quote in path", [](ZarnRegistry& r) { r.projects["p"] = "/a\"b"; },
         "the path of project 'p' holds a double quote"},
        {"tool name", [](ZarnRegistry& r) { r.tools["my tool"] = nullptr; },
         "tool name 'my tool' is not a valid identifier"},
        {"variable in a block",
         [](ZarnRegistry& r) {
             Zarn::Condition condition;
             condition.lhs = Zarn::makeString("x");
             condition.context = std::make_shared<Zarn::ContextTemplate>(std::vector<Zarn::Assignment>{
                 Zarn::Assignment("a b", Zarn::makeString("v"), Zarn::Assignment::Set)});
             r.tools["t"] = std::make_shared<Zarn::ContextTemplate>(std::vector<Zarn::Assignment>{},
                                                                    std::vector<Zarn::Condition>{condition});
         },
         "variable name 'a b' of tool 't' is not a valid identifier"},
        {"declared with a value",
         [](ZarnRegistry& r) {
             r.tools["t"] = std::make_shared<Zarn::ContextTemplate>(std::vector<Zarn::Assignment>{
                 Zarn::Assignment("x", Zarn::makeString("v"), Zarn::Assignment::Declare)});
         },
         "its text would not read back"},
    };
    for (const auto& c : cases) {
        ZarnRegistry registry = loaded(nineLines);
        c.change(registry);
        std::string error = errorOf([&] { registry.save(); });
        EXPECT_EQ(error.rfind("std: Registry file '" + file.string() + "' not saved: " + c.reason, 0), 0u)
            << c.what << ": " << error;
        EXPECT_EQ(readFile(file), nineLines) << c.what;
    }
}

TEST_F(RegistryTest, SaveReplacesTheTargetOfASymbolicLink)
{
    const fs::path real = sandbox.write(sandbox.root() / "elsewhere" / "registry.txt", "projects { a \"/a\" }");
    fs::remove(file);
    fs::create_symlink(real, file);
    ZarnRegistry registry(file);
    registry.load();
    registry.projects["b"] = "/b";
    saved(registry);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(readFile(real), "projects {\n  a \"/a\"\n  b \"/b\"\n}\n");
}

TEST_F(RegistryTest, SaveKeepsThePermissionsOfTheFile)
{
    ZarnRegistry registry = loaded(nineLines);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    registry.projects["b"] = "/b";
    saved(registry);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// The temporary file cannot be made (a directory in its place): the save
// fails and the registry stays as it was.
TEST_F(RegistryTest, FailedSaveLeavesTheOldFile)
{
    ZarnRegistry registry = loaded(nineLines);
    fs::path temporary = file;
    temporary += ".tmp." + std::to_string(::getpid());
    fs::create_directory(temporary);
    registry.projects["b"] = "/b";
    EXPECT_EQ(errorOf([&] { registry.save(); }),
              "std: Unable to open registry file for writing: " + file.string());
    EXPECT_EQ(readFile(file), nineLines);
}

TEST_F(RegistryTest, AddProject)
{
    ZarnRegistry registry = loaded("projects { App \"/w/app/.zarn_project.txt\" }");
    auto project = std::make_shared<Zarn::Project>();
    project->name = "app";
    project->file = "/w/app/.zarn_project.txt";
    EXPECT_EQ(captureLog(6, [&] { registry.addProject(project); }), "Project already registered");

    project->file = "/x/.zarn_project.txt";
    registry.addProject(project);
    EXPECT_EQ(registry.projects.begin()->first.str(), "App");
    EXPECT_EQ(registry.projects.begin()->second, project->file);

    EXPECT_EQ(errorOf([&] { registry.addProject(nullptr); }).rfind("Zarn: ", 0), 0u);
}

class AppRegistryTest : public RegistryTest {
protected:
    ZarnApplication app;

    std::string load() { return captureLog(6, [&] { app.LoadRegistry(); }); }

    void useProject(const std::string& name)
    {
        app.mainProject = std::make_shared<Zarn::Project>();
        app.mainProject->name = name;
        app.mainProject->file = sandbox.work() / ".zarn_project.txt";
    }
};

// Unreadable files are made without permissions (tests run as root): a
// directory or a socket in the way, HOME below a regular file.
TEST(AppRegistry, LoadProblemsAreLoggedAndTheRunGoesOn)
{
    struct Case {
        const char* what;
        std::function<void(const Sandbox&)> arrange;
        std::function<std::string(const Sandbox&)> log;
        bool registryMade;
    };
    const auto notFound = [](const Sandbox& s) {
        return "Registry file '" + s.registryFile().string() + "' not found.\n";
    };
    const Case cases[] = {
        {"HOME unset", [](const Sandbox&) { unsetenv("HOME"); },
         [](const Sandbox&) { return std::string("Unable to load registry file: Unable to resolve HOME path.\n"); },
         false},
        {"HOME empty", [](const Sandbox&) { setenv("HOME", "", 1); },
         [](const Sandbox&) { return std::string("Unable to load registry file: Unable to resolve HOME path.\n"); },
         false},
        {"HOME below a regular file",
         [](const Sandbox& s) {
             s.write("plain", "x");
             setenv("HOME", (s.work() / "plain" / "home").c_str(), 1);
         },
         [](const Sandbox&) { return std::string("Unable to load registry file: "); }, false},
        {"directory in the way", [](const Sandbox& s) { fs::create_directories(s.registryFile()); }, notFound,
         true},
        {"socket in the way",
         [](const Sandbox& s) {
             fs::create_directories(s.registryFile().parent_path());
             makeSocket(s.registryFile());
         },
         notFound, true},
        {"invalid UTF-8", [](const Sandbox& s) { s.write(s.registryFile(), "projects { a \"/\xff\" }"); },
         [](const Sandbox& s) { return "Unable to read " + s.registryFile().string() + ": the text is not valid UTF-8.\n"; },
         true},
        {"syntax error", [](const Sandbox& s) { s.write(s.registryFile(), "projects { a }"); },
         [](const Sandbox& s) { return "Unable to load registry file: " + s.registryFile().string() + "(1,13): '}' "; },
         true},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        c.arrange(sandbox);
        ZarnApplication app;
        const std::string log = captureLog(6, [&] { app.LoadRegistry(); });
        EXPECT_EQ(log.rfind(c.log(sandbox), 0), 0u) << c.what << ": " << log;
        EXPECT_EQ(app.registry != nullptr, c.registryMade) << c.what;
        if (app.registry) {
            EXPECT_TRUE(app.registry->projects.empty()) << c.what;
            EXPECT_TRUE(app.registry->loadFailed) << c.what;
        }
    }
}

TEST_F(AppRegistryTest, RegisterProjectRecordsAndRewritesEveryTime)
{
    load();
    useProject("demo");
    std::string first = captureLog(5, [&] { app.RegisterProject(); });
    EXPECT_EQ(first, "Updated file '" + sandbox.registryFile().string() + "'.\n");
    EXPECT_EQ(readFile(sandbox.registryFile()),
              "projects {\n  demo \"" + (sandbox.work() / ".zarn_project.txt").string() + "\"\n}\n");

    app.mainProject->name = "DEMO";
    std::string second = captureLog(5, [&] { app.RegisterProject(); });
    EXPECT_EQ(second, "Project already registeredUpdated file '" + sandbox.registryFile().string() + "'.\n");
}

TEST_F(AppRegistryTest, RegisterProjectRefusals)
{
    load();
    const std::string before = readFile(sandbox.registryFile());
    EXPECT_EQ(errorOf([&] { app.RegisterProject(); }), "Zarn: project '' not found.");

    const std::string file = (sandbox.work() / ".zarn_project.txt").string();
    for (const char* name : {"", "my.app", "units"}) {
        useProject(name);
        EXPECT_EQ(errorOf([&] { app.RegisterProject(); }),
                  "Zarn: Project file '" + file + "' gives the project name '" + name +
                      "', which is not a valid identifier; the project cannot be registered.");
    }
    EXPECT_EQ(readFile(sandbox.registryFile()), before);

    useProject("demo");
    app.registry.reset();
    EXPECT_EQ(errorOf([&] { app.RegisterProject(); }), "Zarn: registry '' not found.");

    unsetenv("HOME");
    EXPECT_EQ(errorOf([&] { app.RegisterProject(); }), "std: Unable to resolve HOME path.");
}

TEST_F(AppRegistryTest, RegisterProjectRefusesToOverwriteAnUnreadableRegistry)
{
    const std::string corrupt = "projects { old \"/old\" \n tools { broken";
    sandbox.write(sandbox.registryFile(), corrupt);
    load();
    useProject("demo");
    EXPECT_EQ(errorOf([&] { app.RegisterProject(); }),
              "std: Registry file '" + sandbox.registryFile().string() + "' could not be read; not overwriting it.");
    EXPECT_EQ(readFile(sandbox.registryFile()), corrupt);
}

TEST_F(AppRegistryTest, ProjectToolsAreNamedByProjectAndRegisteredDepthFirst)
{
    Zarn::initProgramStatics();
    auto definition = [](const char* name) {
        return Zarn::BuildToolDefinition{
            name, std::make_shared<Zarn::ContextTemplate>(std::vector<Zarn::Assignment>{
                      Zarn::Assignment("tool_type", Zarn::makeString("command"), Zarn::Assignment::Set)})};
    };
    auto main = std::make_shared<Zarn::Project>();
    main->name = "app";
    main->toolDefinitions = {definition("cc")};
    auto unnamed = std::make_shared<Zarn::Project>();
    unnamed->toolDefinitions = {definition("ld")};
    auto lib = std::make_shared<Zarn::Project>();
    lib->name = "lib";
    lib->toolDefinitions = {definition("cc")};
    lib->importedProjects = {unnamed};
    main->importedProjects = {lib, lib};

    std::string log = captureLog(6, [&] { app.RegisterProjectTools(main); });
    std::vector<std::string> names;
    for (const auto& entry : app.registeredTools)
        names.push_back(entry.first.str());
    EXPECT_EQ(names, (std::vector<std::string>{"app/cc", "ld", "lib/cc"}));
    // The second import of lib registers its tools again.
    EXPECT_NE(log.find("Tool 'lib/cc' from Project lib overrides an earlier tool with the same name.\n"),
              std::string::npos);

    app.RegisterProjectTools(nullptr);
    EXPECT_EQ(app.registeredTools.size(), 3u);
}

}  // namespace
