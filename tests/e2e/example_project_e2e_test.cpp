// The bundled example project, copied into a sandbox.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

TEST(ExampleProjectE2e, ListsBuildsAndRunsTheGreetingProgram)
{
    E2e::Sandbox box;
    fs::copy(fs::path(ZARN_SOURCE_DIR) / "examples", box.work() / "example", fs::copy_options::recursive);
    E2e::expectRuns(box, {
        {"example", {"-u"}, 0, "app\ndocs\n"},
        {"example/app", {"-p"}, 0, "default\nloud\n"},
        {"example", {"-v", "7", "-l", "1"}, 0, "run\n"},  // the main unit's first target shows at any threshold
    });

    // The library is compiled and archived, the program linked with it, run.
    const auto first = box.run({}, "example");
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("-ar\" rcs \"libgreet.a\""), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("-o \"hello\""), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Hello, world!\n"), std::string::npos) << first.out;

    // Nothing is compiled again for unchanged sources; the program still runs.
    const auto again = box.run({}, "example");
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("Hello, world!\n"), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("gcc\""), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("[app::greet] Starting build job"), std::string::npos) << again.out;

    // The toolchain comes from the project file: the registry names none.
    if (fs::exists(box.registryFile())) {
        EXPECT_EQ(box.read(box.registryFile()).find("gnu-gcc"), std::string::npos);
    }

    // The loud profile changes the greeting.
    const auto dump = box.run({"-d", "loud"}, "example");
    EXPECT_NE(dump.out.find("\ngreeting = \"HELLO\"\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("\nPROFILE = \"loud\"\n"), std::string::npos) << dump.out;
    const auto loud = box.run({"loud"}, "example");
    ASSERT_EQ(loud.status, 0) << loud.out;
    EXPECT_NE(loud.out.find("HELLO, world!\n"), std::string::npos) << loud.out;
}

}  // namespace
