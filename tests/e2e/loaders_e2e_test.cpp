// The file loaders through the real program: load errors,
// registrations that keep the registry readable, and an unusable HOME.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "socket_file.h"

namespace fs = std::filesystem;

namespace {

using E2e::lines;
using E2e::Sandbox;

TEST(LoadersE2e, LoadErrorsEndTheRunWithStatusOne)
{
    struct Case {
        const char* what;
        std::string projectFile;
        std::string expected;  // the start of the output
    };
    Sandbox box;
    const std::string work = box.work().string();
    box.write("app.txt", "unit app\nt: { }\n");
    fs::create_directories(box.work() / "dir.txt");
    const std::string path = "P\"(" + work + "/" + std::string(100, 'x') + ")\"";
    const std::string quotedPath = "'" + path.substr(0, 40) + "...'";
    const Case cases[] = {
        {"syntax error", "name p\nunits { app { \"app.txt\" }\n",
         work + "/.zarn_project.txt(3,0): '<EOF>' "},
        // each token quoted short, the diagnosis whole
        {"a long path written twice", "name p\nunits { app { \"app.txt\" } }\nprofiles { default { cc = " + path +
                                          " " + path + " } }\n",
         work + "/.zarn_project.txt(3," + std::to_string(27 + path.size()) + "): " + quotedPath +
             " extraneous input " + quotedPath +
             " expecting {LINE_COMMENT, BLOCK_COMMENT, '}', '^', '!', 'if', IDENTIFIER}\n"},
        {"wrong unit", "name p\nunits { lib { \"app.txt\" } }\n",
         "Error: Unit file '" + work + "/app.txt' declares unit 'app', but project entry expects unit 'lib'.\n"},
        {"unit file is a directory", "name p\nunits { app { \"dir.txt\" } }\n", "Error: Unable to open file!\n"},
        {"invalid UTF-8", "name p\xc0\n", "Error: Unable to read " + work + "/.zarn_project.txt: "},
    };
    for (const auto& c : cases) {
        box.write(".zarn_project.txt", c.projectFile);
        const auto result = box.run({"-u"});
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out.rfind(c.expected, 0), 0u) << c.what << ": " << result.out;
    }
}

// A project file or registry that is no regular file is named with the
// reason; a registry that cannot be read leaves the build to go on.
TEST(LoadersE2e, StateAndProjectFilesThatAreNoRegularFileSayWhy)
{
    struct Case {
        const char* what;
        bool registry;  // else the project file
        bool socket;    // else a directory
    };
    const Case cases[] = {
        {"project file, directory", false, false},
        {"project file, socket", false, true},
        {"registry, directory", true, false},
        {"registry, socket", true, true},
    };
    for (const auto& c : cases) {
        Sandbox box;
        box.write("app.txt", "unit app\nt: {\n  NO_TOOL\n}\n");
        const fs::path file = c.registry ? box.registryFile() : box.work() / ".zarn_project.txt";
        if (c.registry)
            box.write(".zarn_project.txt", "name p\nunits { app { \"app.txt\" } }\n");
        fs::create_directories(file.parent_path());
        if (c.socket)
            makeSocket(file);
        else
            fs::create_directory(file);
        const auto result = box.run({});
        const std::string why = std::string(c.registry ? "" : "Error: ") + (c.registry ? "Registry" : "Project") +
                                " file '" + file.string() + "' cannot be read: not a regular file.\n";
        EXPECT_EQ(result.status, c.registry ? 0 : 1) << c.what << ": " << result.out;
        EXPECT_EQ(result.out.rfind(why, 0), 0u) << c.what << ": " << result.out;
    }
}

// Registering keeps every other entry readable and unchanged: tool variables
// keep their "!" and "^", lists of strings are not mistaken for short paths,
// and "if" blocks stay.
TEST(LoadersE2e, RegisteringKeepsTheToolsOfTheRegistry)
{
    Sandbox box;
    box.write(".zarn_project.txt", "name demo\nunits { app { \"app.txt\" } }\n");
    box.write("app.txt", "unit app\nt: { }\n");
    const std::string tools = "tools {\n"
                              "  gcc {\n"
                              "    tool_type = \"gnu-gcc\"\n"
                              "    !cc = P\"/usr/bin/gcc\"\n"
                              "    ^out = \"a.out\"\n"
                              "    flags = [ \"-DAPP\", \"-O2\" ]\n"
                              "    if arch = \"arm\" {\n"
                              "      !cc = P\"/usr/bin/arm-gcc\"\n"
                              "    }\n"
                              "  }\n"
                              "}\n";
    box.write(box.registryFile(), tools);
    const auto result = box.run({"-r"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(box.read(box.registryFile()),
              "projects {\n  demo \"" + (box.work() / ".zarn_project.txt").string() + "\"\n}\n\n" + tools);
}

// A project without a name, or a HOME below a regular file (the registry
// cannot exist: the run goes on without it), stops only a registration.
TEST(LoadersE2e, RegistrationRefusals)
{
    Sandbox box;
    box.write(".zarn_project.txt", "units { app { \"app.txt\" } }\n");
    box.write("app.txt", "unit app\nt: { }\n");
    E2e::expectRuns(box, {{"", {"-r"}, 1,
                           "Error: Project file '" + (box.work() / ".zarn_project.txt").string() +
                               "' gives the project name '', which is not a valid identifier; "
                               "the project cannot be registered.\n"}});
    EXPECT_EQ(box.read(box.registryFile()), "");

    box.write(".zarn_project.txt", "name demo\nunits { app { \"app.txt\" } }\n");
    box.write("plain", "x");
    const std::vector<std::string> env = {"HOME=" + (box.work() / "plain" / "home").string()};
    const auto listing = box.run({"-u"}, {}, env);
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out.rfind("Unable to load registry file: ", 0), 0u) << listing.out;
    EXPECT_EQ(lines(listing.out).back(), "app");

    const auto registration = box.run({"-r"}, {}, env);
    EXPECT_EQ(registration.status, 1);
    EXPECT_NE(registration.out.find("filesystem error"), std::string::npos) << registration.out;
}

}  // namespace
