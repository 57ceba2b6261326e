#include "zarn_outputs_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "build_test_support.h"

using namespace BuildTestSupport;

namespace {

TEST(OutputsFile, OneLinePerValuedVariableInNameOrder)
{
    Zarn::Context outputs;
    outputs.addAssignment(set("Zeta", str("z")));
    outputs.addAssignment(set("alpha", list({str("a"), integer(1)})));
    outputs.addAssignment(Zarn::Assignment("Beta", nullptr, Zarn::Assignment::Declare));
    outputs.addAssignment(set("file", path("/t/out.txt")));
    std::ostringstream out;
    Zarn::writeOutputs(out, outputs);
    EXPECT_EQ(out.str(),
              "alpha = [ \"a\", 1 ]\n"
              "file = P\"/t/out.txt\"\n"
              "Zeta = \"z\"\n");
}

TEST(OutputsFile, UnopenableFileIsReported)
{
    TempDir dir;
    Zarn::Context outputs;
    outputs.addAssignment(set("x", str("1")));
    bool written = true;
    const std::string log =
        captureOutput(LogLevel::Error, [&] { written = Zarn::writeOutputsFile(dir / "no/such/dir", outputs); });
    EXPECT_FALSE(written);
    EXPECT_EQ(log, "Unable to open outputs file '" + (dir / "no/such/dir").string() + "' for writing.\n");

    EXPECT_TRUE(Zarn::writeOutputsFile(dir / "outs.txt", outputs));
    EXPECT_EQ(readFile(dir / "outs.txt"), "x = \"1\"\n");
}

}  // namespace
