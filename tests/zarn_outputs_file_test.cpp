#include "zarn_outputs_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

using namespace TestSupport;

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
    EXPECT_EQ(out.str(), "alpha = [ \"a\", 1 ]\nfile = P\"/t/out.txt\"\nZeta = \"z\"\n");
}

}  // namespace
