// A shared object made from sources of its own and objects of a dependency:
// the declared product must not send it to a tool that leaves its sources
// out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

TEST(ProductSourcesE2e, ASharedObjectKeepsItsOwnSources)
{
    for (const std::string& kind : {std::string("SO"), std::string("SHARED")}) {
        SCOPED_TRACE(kind);
        Sandbox box;
        box.write(box.registryFile(),
                  "tools {\n  gnu {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"/usr/bin\"\n  }\n}\n");
        box.write("zarn.txt", "unit demo\n"
                              "greet: +pic {\n"
                              "  C_FILES = P\"(src/extra.c)\"\n"
                              "  C_FLAGS = \"-fPIC -shared\"\n"
                              "  OBJS\n"
                              "  " + kind + "\n"
                              "  OUTPUT_NAME = \"libgreet.so\"\n"
                              "}\n"
                              "pic: {\n"
                              "  C_FILES = P\"(src/twice.c)\"\n"
                              "  C_FLAGS = \"-fPIC -c\"\n"
                              "}\n");
        box.write("src/extra.c", "int greet_extra(int x) { return 3 * x; }\n");
        box.write("src/twice.c", "int greet_twice(int x) { return 2 * x; }\n");
        const auto run = box.run({"-v", "3", "greet"});
        ASSERT_EQ(run.status, 0) << run.out;
        fs::path found;
        for (const auto& entry : fs::recursive_directory_iterator(box.work() / "out"))
            if (entry.path().filename() == "libgreet.so")
                found = entry.path();
        ASSERT_FALSE(found.empty()) << run.out;
        const std::string bytes = box.read(found);
        EXPECT_NE(bytes.find("greet_twice"), std::string::npos);
        EXPECT_NE(bytes.find("greet_extra"), std::string::npos) << "the target's own source was left out\n"
                                                                << run.out;
    }
}

}  // namespace
