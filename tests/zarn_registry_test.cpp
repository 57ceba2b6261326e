// The per-user registry: reading, the exact written form, saves that never
// lose data, and the application's registry steps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <iterator>

#include "test_support.h"
#include "zarn_app.h"
#include "zarn_registry.h"
#include "zarn_tool.h"
#include "zarn_tool_type_registry.h"

namespace {

using namespace TestSupport;
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

    const Zarn::Assignment& toolVariable(const ZarnRegistry& registry, const char* tool, std::size_t index)
    {
        return registry.tools.at(tool)->assignments.at(index);
    }

    // Saves and returns the written text.
    std::string saved(ZarnRegistry& registry)
    {
        captureLog(6, [&] { registry.save(); });
        return readFile(file);
    }
};

// What a save writes, and that it reads back as the same: sections sorted
// ignoring case, a later entry of a name winning with the first spelling,
// short path literals, and lists of strings ending in "P", which are no
// short path literal.
TEST_F(RegistryTest, SaveWritesTheExactTextAndItReadsBack)
{
    struct Case {
        const char* read;
        const char* written;
    };
    const Case cases[] = {
        {nineLines, nineLines},
        {"projects { beta \"/b\" Alpha \"/a\" }", "projects {\n  Alpha \"/a\"\n  beta \"/b\"\n}\n"},
        {"tools { b { x = 1 } A { } }", "tools {\n  A {\n  }\n  b {\n    x = 1\n  }\n}\n"},
        {"projects { Alpha \"/a/p.txt\" alpha \"/b/p.txt\" }", "projects {\n  Alpha \"/b/p.txt\"\n}\n"},
        {"tools { t { flags = [ \"-DAPP\", \"-O2\", \"P\" ] } }",
         "tools {\n  t {\n    flags = [ \"-DAPP\", \"-O2\", \"P\" ]\n  }\n}\n"},
    };
    for (const Case& c : cases) {
        ZarnRegistry registry = loaded(c.read);
        EXPECT_EQ(saved(registry), c.written) << c.read;
        ZarnRegistry again = loaded(c.written);
        EXPECT_EQ(saved(again), c.written) << c.read;
    }
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
    ZarnRegistry again = loaded(text);
    EXPECT_EQ(again.tools.at("t")->conditions.at(0).context->conditions.size(), 1u);
    EXPECT_EQ(saved(again), text);
}

// Texts that would not read back are refused before the file is touched.
TEST_F(RegistryTest, SaveRefusesEntriesThatWouldNotReadBack)
{
    auto tool = [](std::vector<Zarn::Assignment> assignments, std::vector<Zarn::Condition> conditions = {}) {
        return std::make_shared<Zarn::ContextTemplate>(std::move(assignments), std::move(conditions));
    };
    Zarn::Condition condition;
    condition.lhs = Zarn::makeString("x");
    condition.context = tool({set("a b", str("v"))});
    struct Case {
        const char* what;
        std::function<void(ZarnRegistry&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"keyword", [](ZarnRegistry& r) { r.projects["tools"] = "/p"; },
         "project name 'tools' is not a valid identifier"},
        {"quote in path", [](ZarnRegistry& r) { r.projects["p"] = "/a\"b"; },
         "the path of project 'p' holds a double quote"},
        {"variable in a block", [&](ZarnRegistry& r) { r.tools["t"] = tool({}, {condition}); },
         "variable name 'a b' of tool 't' is not a valid identifier"},
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

// A save through a symbolic link replaces the link's target and keeps its
// permissions.
TEST_F(RegistryTest, SaveReplacesTheTargetOfASymbolicLinkAndKeepsItsPermissions)
{
    const fs::path real = sandbox.write(sandbox.root() / "elsewhere" / "registry.txt", "projects { a \"/a\" }");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(file);
    fs::create_symlink(real, file);
    ZarnRegistry registry(file);
    registry.load();
    registry.projects["b"] = "/b";
    saved(registry);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(readFile(real), "projects {\n  a \"/a\"\n  b \"/b\"\n}\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// The write fails midway, as on a full disk: the save fails and the
// registry stays as it was.
TEST_F(RegistryTest, FailedSaveLeavesTheOldFile)
{
    ZarnRegistry registry = loaded(nineLines);
    registry.projects["b"] = "/b";
    std::string error;
    withFileSizeLimit(16, [&] { error = errorOf([&] { registry.save(); }); });
    EXPECT_EQ(error, "std: Unable to write registry file: " + file.string());
    EXPECT_EQ(readFile(file), nineLines);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

// Every value the reader gives is written in a form that reads back the
// same: blocks at any depth (with their modifiers, operators and "if"
// blocks, in lists too), index ranges and nested indexes, raw strings with
// quotes, paths in the long form. "{}" stays a missing value.
TEST_F(RegistryTest, BlocksAndIndexesAreWrittenBackAsRead)
{
    const std::string text = "tools {\n"
                             "  t {\n"
                             "    cfg = {\n"
                             "      !cc ?= \"gcc\"\n"
                             "      deeper = {\n"
                             "        list += [ 1, {\n"
                             "          x = P\"(/a\"b)\"\n"
                             "        } ]\n"
                             "      }\n"
                             "      opt = \"-O2\"\n"
                             "      if arch = R\"(x\"y)\" {\n"
                             "        opt = \"-O3\"\n"
                             "      }\n"
                             "    }\n"
                             "    b = word[1:3]\n"
                             "    c = a.b[2][x.y[0:1]]\n"
                             "    none = {}\n"
                             "    plain = [ \"x\", 1, 2 ]\n"
                             "  }\n"
                             "}\n";
    ZarnRegistry registry = loaded("tools { t { cfg = { opt = \"-O2\" !cc ?= \"gcc\" if arch = R\"(x\"y)\" { opt = "
                                   "\"-O3\" } deeper = { list += [1, { x = P\"(/a\"b)\" }] } } b = word[1:3] "
                                   "c = a.b[2][x.y[0:1]] none = {} plain = [\"x\", [1, 2]] } }");
    EXPECT_EQ(saved(registry), text);
    ZarnRegistry again(file);
    again.load();
    const Zarn::ZarnValuePtr& cfg = toolVariable(again, "t", 0).value;
    ASSERT_NE(dynamic_cast<const Zarn::ZarnContext*>(cfg.get()), nullptr);
    EXPECT_EQ(toolVariable(again, "t", 3).value, nullptr);
    EXPECT_EQ(saved(again), text);
}

// update() works on the file as it is now, under the lock: what another
// run saved since this one loaded is kept.
TEST_F(RegistryTest, UpdateKeepsWhatOthersSavedMeanwhile)
{
    ZarnRegistry mine = loaded("projects { a \"/a\" }");
    ZarnRegistry theirs(file);
    theirs.load();
    captureLog(6, [&] {
        theirs.update([](ZarnRegistry& r) { r.projects["b"] = "/b"; });
        mine.update([](ZarnRegistry& r) { r.projects["c"] = "/c"; });
    });
    EXPECT_EQ(readFile(file), "projects {\n  a \"/a\"\n  b \"/b\"\n  c \"/c\"\n}\n");
    EXPECT_EQ(mine.projects.size(), 3u);
    EXPECT_TRUE(fs::exists(file.string() + ".lock"));

    // A lock that cannot be had stops the update before anything changes.
    fs::remove(file.string() + ".lock");
    fs::create_directory(file.string() + ".lock");
    EXPECT_EQ(errorOf([&] { mine.update([](ZarnRegistry& r) { r.projects["d"] = "/d"; }); })
                  .rfind("std: Unable to lock registry file '" + file.string() + "': ", 0),
              0u);
    EXPECT_EQ(mine.projects.count("d"), 0u);
}

// Unreadable files are made without permissions (tests run as root): a
// directory or a socket in the way, HOME below a regular file.
TEST(AppRegistry, LoadProblemsAreLoggedAndTheRunGoesOn)
{
    struct Case {
        const char* what;
        std::function<void(const Sandbox&)> arrange;
        std::string log;  // its start; "{}" stands for the registry file
        bool registryMade;
    };
    const Case cases[] = {
        {"HOME empty", [](const Sandbox&) { setenv("HOME", "", 1); },
         "Unable to load registry file: Unable to resolve HOME path.\n", false},
        {"directory in the way", [](const Sandbox& s) { fs::create_directories(s.registryFile()); },
         "Registry file '{}' cannot be read: not a regular file.\n", true},
        {"socket in the way",
         [](const Sandbox& s) {
             fs::create_directories(s.registryFile().parent_path());
             makeSocket(s.registryFile());
         },
         "Registry file '{}' cannot be read: not a regular file.\n", true},
        {"invalid UTF-8", [](const Sandbox& s) { s.write(s.registryFile(), "projects { a \"/\xff\" }"); },
         "Unable to read {}: the text is not valid UTF-8.\n", true},
    };
    for (const auto& c : cases) {
        Sandbox sandbox;
        c.arrange(sandbox);
        ZarnApplication app;
        const std::string log = captureLog(6, [&] { app.LoadRegistry(); });
        std::string expected = c.log;
        if (expected.find("{}") != std::string::npos)
            expected.replace(expected.find("{}"), 2, sandbox.registryFile().string());
        EXPECT_EQ(log.rfind(expected, 0), 0u) << c.what << ": " << log;
        EXPECT_EQ(app.registry != nullptr, c.registryMade) << c.what;
        if (app.registry) {
            EXPECT_TRUE(app.registry->projects.empty()) << c.what;
            EXPECT_TRUE(app.registry->loadFailed) << c.what;
        }
    }
}

class AppRegistryTest : public RegistryTest {
protected:
    ZarnApplication app;

    void load() { captureLog(6, [&] { app.LoadRegistry(); }); }
    void useProject(const std::string& name)
    {
        app.mainProject = makeProject(name, sandbox.work() / ".zarn_project.txt");
    }
};

// A registration that another run saves while compilers are searched is
// kept: the found tools are stored into the registry as it is then.
TEST_F(AppRegistryTest, CompilerDiscoveryKeepsRegistrationsMadeDuringTheSearch)
{
    sandbox.write(sandbox.registryFile(), "projects { a \"/a\" }");
    load();
    app.findDefaultToolchains = [this] {
        sandbox.write(sandbox.registryFile(), "projects { a \"/a\" b \"/b\" }");  // the other run's -r
        return std::vector<std::shared_ptr<Zarn::ContextTemplate>>{std::make_shared<Zarn::ContextTemplate>(
            std::vector<Zarn::Assignment>{set("toolchain_name", str("found")), set("tool_type", str("gnu-gcc"))})};
    };
    captureLog(6, [&] { app.FindCompilers(); });
    EXPECT_EQ(readFile(sandbox.registryFile()), "projects {\n  a \"/a\"\n  b \"/b\"\n}\n\n"
                                                "tools {\n  found {\n    tool_type = \"gnu-gcc\"\n  }\n}\n");
}

TEST_F(AppRegistryTest, RegisterProjectRefusals)
{
    load();
    const std::string before = readFile(sandbox.registryFile());
    EXPECT_EQ(errorOf([&] { app.RegisterProject(); }), "Zarn: project '' not found.");

    const std::string file = (sandbox.work() / ".zarn_project.txt").string();
    for (const char* name : {"my.app", "units"}) {
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

// Tools of a project are named "<project>/<tool>" (just the tool's name in an
// unnamed project), depth first; a project imported twice registers twice.
TEST_F(AppRegistryTest, ProjectToolsAreNamedByProjectAndRegisteredDepthFirst)
{
    Zarn::initProgramStatics();
    const Zarn::BuildToolDefinition cc{
        "cc", std::make_shared<Zarn::ContextTemplate>(std::vector<Zarn::Assignment>{set("tool_type", str("command"))})};
    auto main = makeProject("app", {});
    auto lib = makeProject("lib", {});
    auto unnamed = makeProject("", {});
    main->toolDefinitions = {cc};
    lib->toolDefinitions = {cc};
    unnamed->toolDefinitions = {cc};
    unnamed->toolDefinitions[0].name = "ld";
    lib->importedProjects = {unnamed};
    main->importedProjects = {lib, lib};

    std::string log = captureLog(6, [&] { app.RegisterProjectTools(main); });
    std::vector<std::string> names;
    for (const auto& entry : app.registeredTools)
        names.push_back(entry.first.str());
    EXPECT_EQ(names, (std::vector<std::string>{"app/cc", "ld", "lib/cc"}));
    EXPECT_NE(log.find("Tool 'lib/cc' from Project lib overrides an earlier tool with the same name.\n"),
              std::string::npos);
}

}  // namespace
