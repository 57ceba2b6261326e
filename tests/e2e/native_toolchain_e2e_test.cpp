// A toolchain for this processor but another system (a compiler for Windows
// programs) registered beside the machine's own: targets that do not name
// the system stay native.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

TEST(NativeToolchainE2e, AToolchainForAnotherSystemBuildsOnlyTargetsThatAskForIt)
{
    const std::string arch = E2e::machineArch();
    const std::string native = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpmachine");
    if (arch.empty() || native.rfind(arch + "-", 0) != 0)
        GTEST_SKIP() << "the machine's gcc does not name this processor";
    const std::string windows = arch + "-w64-mingw32";
    // The first pair is what --find-compilers names them: "-" sorts before "_".
    const struct { std::string other; std::string own; } orders[] = {
        {"default_gnu_12-win32_" + arch, "default_gnu_12_2_0_" + arch},
        {"a_windows", "b_linux"},
    };
    for (const auto& names : orders) {
        SCOPED_TRACE(names.other);
        Sandbox box;
        FakeToolchain::BinDir bin(box.root() / "mingw" / "bin");
        FakeToolchain::Compiler gcc = FakeToolchain::compiler(windows + "-gcc", windows, "12-win32");
        gcc.realProgram.clear();  // logs its calls instead
        bin.add(gcc);
        bin.addBinutils(windows + "-");
        box.write(box.registryFile(),
                  "tools {\n" + E2e::gnuToolDefinition(names.other, bin.path()) + E2e::gnuToolDefinition(names.own, "/usr/bin") + "}\n");
        box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n}\n"
                              "cpu: {\n  C_FILES = P\"(main.c)\"\n  ARCH = \"" + arch + "\"\n}\n"
                              "win: {\n  C_FILES = P\"(main.c)\"\n  TOOLCHAIN_TRIPLET = \"" + windows + "\"\n}\n");
        box.write("main.c", "int main(void) { return 0; }\n");

        // ARCH names the processor, not the system.
        for (const char* target : {"app", "cpu"}) {
            const auto plain = box.run({"-v", "3", target});
            ASSERT_EQ(plain.status, 0) << plain.out;
            EXPECT_NE(plain.out.find("Best registered tool: " + names.own + ", score: "), std::string::npos)
                << plain.out;
            EXPECT_FALSE(fs::exists(bin / (windows + "-gcc.log"))) << "the Windows compiler ran for " << target;
        }

        const auto asked = box.run({"-v", "3", "win"});
        ASSERT_EQ(asked.status, 0) << asked.out;
        EXPECT_NE(asked.out.find("Best registered tool: " + names.other + ", score: "), std::string::npos)
            << asked.out;
        EXPECT_TRUE(fs::exists(bin / (windows + "-gcc.log")));
    }
}

}  // namespace
