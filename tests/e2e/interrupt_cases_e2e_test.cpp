// zarn stopped by a signal at moments other than the middle of a recipe.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A stop while a compiler is being probed: the probe that the stop cut short
// is not reported as a toolchain that cannot be found.
TEST(InterruptCasesE2e, AStopDuringAProbeBlamesNoToolchain)
{
    Sandbox box;
    const FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    bin.addScript("gcc", "touch \"$0.probing\"\nexec sleep 60\n");
    bin.addBinutils();
    box.write(".zarn_project.txt", "name p\n\ntools {\n  slow {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" +
                                       bin.path().string() + "\"\n  }\n}\n\nunits {\n  main { \"zarn.txt\" }\n}\n");
    box.write("zarn.txt", "unit main\napp: {\n  C_FILES = P\"(m.c)\"\n  OUTPUT_NAME = \"m\"\n}\n");
    box.write("m.c", "int main(void) { return 0; }\n");

    auto run = box.start({});
    ASSERT_TRUE(E2e::waitForFile(bin / "gcc.probing", 20000));
    run.killProgram(SIGTERM);
    const E2e::RunResult result = run.wait();
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "Build interrupted by SIGTERM.\n");
    EXPECT_FALSE(contains(result.out, "Couldn't find GNU toolchain")) << result.out;
}

}  // namespace
