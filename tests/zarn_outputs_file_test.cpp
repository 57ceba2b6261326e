#include "zarn_outputs_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "build_test_support.h"
#include "loader/assignment_text.h"
#include "short_path_literals.h"
#include "zarn_cache_values.h"

using namespace BuildTestSupport;

namespace {

// Every line that is written reads back as its variable; every variable that
// would not is left out with a warning naming it.
TEST(OutputsFile, LeavesOutWhatWouldNotReadBackAndSaysSo)
{
    Zarn::Context outputs;
    const std::vector<Zarn::Assignment> kept = {
        set("binary", path("/t/p/app")),
        set("flags", list({str("-DX=\"1\""), integer(2)})),
        set("title", str("caf\xc3\xa9")),
    };
    for (const Zarn::Assignment& assignment : kept)
        outputs.addAssignment(assignment);
    outputs.addAssignment(set("found", list({path("/t/p/a"), path("/t/p/o)\"x/f")})));
    outputs.addAssignment(set("here", path("/t/x\xff\xfey")));
    outputs.addAssignment(set("raw", raw("odd)")));
    outputs.addAssignment(declare("none"));

    std::ostringstream out;
    const std::string warnings = captureOutput(LogLevel::Warning, [&] { Zarn::writeOutputs(out, outputs, "o.txt"); });
    EXPECT_EQ(warnings,
              "Variable 'found' cannot be written in 'o.txt' so that it reads back; it is left out.\n"
              "Variable 'here' cannot be written in 'o.txt' so that it reads back; it is left out.\n"
              "Variable 'raw' cannot be written in 'o.txt' so that it reads back; it is left out.\n");

    std::istringstream lines(out.str());
    std::string line;
    std::size_t index = 0;
    while (std::getline(lines, line)) {
        ASSERT_LT(index, kept.size()) << out.str();
        const Zarn::Assignment read = parseAssignmentText(Zarn::rewriteShortPathLiterals(line), {});
        EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read, kept[index])) << line;
        ++index;
    }
    EXPECT_EQ(index, kept.size()) << out.str();
}

}  // namespace
