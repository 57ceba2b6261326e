#include "zarn_cache_escapes.h"

#include <gtest/gtest.h>

#include <sstream>
#include <typeinfo>

#include "build_test_support.h"
#include "loader/assignment_text.h"
#include "zarn_build_cache_file.h"
#include "zarn_cache_values.h"

using namespace BuildTestSupport;
namespace fs = std::filesystem;

namespace {

const Zarn::AssignmentTextParser parser = [](const std::string& text, const fs::path& base) {
    return parseAssignmentText(text, base);
};

// Texts the build language has no literal for are written escaped and read
// back as the same value, of the same class, final.
TEST(CacheEscapes, ItemsWithoutAPlainLiteralReadBackExactly)
{
    EXPECT_EQ(Zarn::escapeCacheText("/t/a)\"b/x\xff%"), "/t/a%29%22b/x%FF%25");
    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every += static_cast<char>(byte);
    const Zarn::ZarnValuePtr cases[] = {
        str("cp '/t/a)\"b/in' '/t/a)\"b/out'"),
        str(every),
        raw("ends in )\""),
        path("/t/a)\"b/out.txt"),
        Zarn::makePathString("x\xff)\"/f", "/base"),
        list({str("plain"), path("/t/o)\"x/f"), integer(-3), str("100%")}),
        block({output("out", path("/t/a)\"b/o")), set("n", integer(2))}),
    };
    for (const Zarn::ZarnValuePtr& value : cases) {
        const Zarn::Assignment written = output("v", value);
        std::stringstream stream;
        EXPECT_TRUE(Zarn::writeCacheItem(stream, written));
        const std::string text = stream.str();
        Zarn::Assignment read;
        ASSERT_TRUE(Zarn::readCacheItem(stream, read, parser)) << text;
        EXPECT_EQ(text.rfind("A 1 1 %\n", 0), 0u) << text;
        ASSERT_TRUE(read.value) << text;
        EXPECT_EQ(typeid(*read.value), typeid(*value)) << text;
        EXPECT_EQ(read.flags, 1u);
        EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read, written)) << text;
        if (!dynamic_cast<const Zarn::ZarnContext*>(value.get())) {
            EXPECT_TRUE(Zarn::isFinalText(*read.value)) << text;
        }
    }
}

}  // namespace
