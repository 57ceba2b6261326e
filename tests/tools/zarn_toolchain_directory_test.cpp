#include "tools/zarn_toolchain_directory.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/zarn_c3_compiler_search.h"
#include "tools/zarn_compiler_search.h"
#include "types/zarn_string.h"
#include "zarn_tool_tables.h"

namespace fs = std::filesystem;
using namespace Zarn;

TEST(ToolchainDirectoryTest, RelativePathsBecomeAbsoluteAgainstTheCurrentDirectory)
{
    const fs::path here = fs::current_path();
    EXPECT_EQ(absoluteToolchainPath("tc"), here / "tc");
    EXPECT_EQ(absoluteToolchainPath("../tc/bin"), here / "../tc/bin");
    EXPECT_EQ(absoluteToolchainPath("/opt/tc"), "/opt/tc");

    const KeySet wants = makeKeySet({makeKeyEntry("toolchain_path", Zarn::makeString("kit"))});
    EXPECT_EQ(makeToolchainRequest(wants).toolchainPath, here / "kit");
    EXPECT_EQ(readC3ToolchainRequest(wants).toolchainPath, here / "kit");
}

TEST(ToolchainDirectoryTest, ADirectoryHoldingAColonIsRefusedByName)
{
    EXPECT_EQ(TestSupport::errorOf([] { requireSearchPathDirectory("plain", "/opt/tc/bin"); }), "");
    EXPECT_EQ(TestSupport::errorOf([] { requireSearchPathDirectory("Cross_Kit", "/opt/tc:x/bin"); }),
              "Zarn: Tool 'Cross_Kit': the toolchain directory '/opt/tc:x/bin' holds ':', so PATH cannot hold it; "
              "the tool is not used.");
}
