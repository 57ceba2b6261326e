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

TEST(CacheEscapes, EveryByteRoundTripsAndTheResultHasAPlainLiteral)
{
    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every += static_cast<char>(byte);
    const std::string escaped = Zarn::escapeCacheText(every);
    for (char c : escaped) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(static_cast<unsigned char>(c));
        EXPECT_NE(c, '"');
        EXPECT_NE(c, ')');
    }
    std::string back;
    ASSERT_TRUE(Zarn::unescapeCacheText(escaped, back));
    EXPECT_EQ(back, every);
    EXPECT_EQ(Zarn::escapeCacheText("/t/a)\"b/x\xff%"), "/t/a%29%22b/x%FF%25");

    for (const char* bad : {"%", "%4", "a%G0", "%%", "%4%"})
        EXPECT_FALSE(Zarn::unescapeCacheText(bad, back)) << bad;
    ASSERT_TRUE(Zarn::unescapeCacheText("%2f%2F", back));
    EXPECT_EQ(back, "//");
}

// Writes one item and reads it back.
Zarn::Assignment roundTrip(const Zarn::Assignment& written, std::string& text)
{
    std::stringstream stream;
    EXPECT_TRUE(Zarn::writeCacheItem(stream, written));
    text = stream.str();
    Zarn::Assignment read;
    EXPECT_TRUE(Zarn::readCacheItem(stream, read, parser)) << text;
    return read;
}

// Texts the build language has no literal for are written escaped and read
// back as the same value, of the same class, final; written again they give
// the same bytes.
TEST(CacheEscapes, ItemsWithoutAPlainLiteralReadBackExactly)
{
    const std::string nul("a\0b", 3);
    const Zarn::ZarnValuePtr cases[] = {
        str("cp '/t/a)\"b/in' '/t/a)\"b/out'"),
        str("/t/x\xff\xfey"),
        str(nul),
        raw("ends in )"),
        path("/t/a)\"b/out.txt"),
        Zarn::makePathString("x\xff)\"/f", "/base"),
        list({str("plain"), path("/t/o)\"x/f"), integer(-3), str("100%")}),
        block({output("out", path("/t/a)\"b/o")), set("n", integer(2))}),
    };
    for (const Zarn::ZarnValuePtr& value : cases) {
        const Zarn::Assignment written = output("v", value);
        std::string text;
        const Zarn::Assignment read = roundTrip(written, text);
        EXPECT_EQ(text.rfind("A 1 1 %\n", 0), 0u) << text;
        ASSERT_TRUE(read.value) << text;
        EXPECT_EQ(typeid(*read.value), typeid(*value)) << text;
        EXPECT_EQ(read.flags, 1u);
        EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read, written)) << text;
        if (!dynamic_cast<const Zarn::ZarnContext*>(value.get())) {
            EXPECT_EQ(read.value->toString(), dynamic_cast<const Zarn::ZarnPathString*>(value.get())
                                                  ? static_cast<const Zarn::ZarnPathString&>(*value).fullPath().string()
                                                  : value->toString());
            EXPECT_TRUE(Zarn::isFinalText(*read.value)) << text;
        }
        std::string again;
        roundTrip(read, again);
        EXPECT_EQ(again, text);
    }
}

TEST(CacheEscapes, WhatThePlainFormHoldsIsWrittenAsBefore)
{
    std::string text;
    roundTrip(set("s", str("100% \xc3\xa9 ${x}")), text);
    EXPECT_EQ(text, "A 1 0\n18\ns = \"100% \xc3\xa9 ${x}\"\n");
    roundTrip(set("p", path("/t/p/out.txt")), text);
    EXPECT_EQ(text, "A 1 0\n19\np = P\"/t/p/out.txt\"\n");
}

TEST(CacheEscapes, ADefectiveEscapedItemIsRefused)
{
    const char* const texts[] = {
        "A 1 0 %\n7\nx = \"%\"\n",      // an escape cut short
        "A 1 0 %\n9\nx = \"%G0\"\n",    // not hex
        "A 1 0 %%\n7\nx = \"a\"\n",     // another fourth word
        "A 1 0 % %\n7\nx = \"a\"\n",    // five words
        "A 1 0 %\n7\nx = \"\xff\"\n",   // escaped items are plain ASCII, like any text the lexer takes
    };
    for (const char* text : texts) {
        std::istringstream in(text);
        Zarn::Assignment read;
        EXPECT_FALSE(Zarn::readCacheItem(in, read, parser)) << text;
    }
    std::istringstream in("A 1 0  %  \n9\nx = \"%41\"\n");
    Zarn::Assignment read;
    ASSERT_TRUE(Zarn::readCacheItem(in, read, parser));
    EXPECT_EQ(read.value->toString(), "A");
}

// A record of a project in a directory that no literal can name comes back
// with the fingerprints that its next plan will have.
TEST(CacheEscapes, RecordsOfAnyDirectoryNameKeepTheirFingerprints)
{
    const std::string root = "/t/a)\"b\xff";
    Zarn::RecipeIO recipe{{Zarn::RecipeInput{set("src", path(root + "/in.txt")), set("obj", path(root + "/o")), true},
                           Zarn::RecipeInput{set("project_root", str(root)), {}, false}},
                          {output("dst", path(root + "/out.txt"))}};
    const uint64_t fingerprint = Zarn::fingerprintInputs(recipe);
    Zarn::CacheRecordSnapshot snapshot{"demo::copy", {}, {set("cwd", str(root))}};
    snapshot.recipes.insert(fingerprint, recipe);

    std::ostringstream out;
    std::string warnings = captureOutput(LogLevel::Debug, [&] { EXPECT_TRUE(Zarn::writeCacheRecords(out, {snapshot})); });
    EXPECT_EQ(warnings, "");
    std::istringstream in(out.str());
    const auto records = Zarn::readCacheRecords(in, "C", parser);
    ASSERT_TRUE(records) << out.str();
    const Zarn::RuntimeRecord& record = *records->at(Util::CiString("demo::copy"));
    const Zarn::RecipeIO* read = record.recipes.find(fingerprint);
    ASSERT_NE(read, nullptr) << out.str();
    EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read->outputs.at(0), recipe.outputs.at(0)));
    EXPECT_TRUE(Zarn::cacheAssignmentsEqual(read->inputs.at(0).intermediate, recipe.inputs.at(0).intermediate));
    ASSERT_EQ(record.environment.size(), 1u);
    EXPECT_EQ(record.environment[0].value->toString(), root);
}

// What even the escaped form cannot hold is a name: the record is left out,
// and the warning names it and the variable.
TEST(CacheEscapes, ARecordThatCannotBeHeldIsLeftOutWithOneWarning)
{
    Zarn::RecipeIO recipe{{Zarn::RecipeInput{set("1", str("x")), {}, false}}, {output("o", path("/t/o)\"x"))}};
    Zarn::CacheRecordSnapshot bad{"demo::bad", {}, {}};
    bad.recipes.insert(Zarn::fingerprintInputs(recipe), recipe);
    Zarn::CacheRecordSnapshot good{"demo::good", {}, {set("cwd", str("/t/o)\"x"))}};

    std::ostringstream out;
    const std::string warnings =
        captureOutput(LogLevel::Warning, [&] { EXPECT_TRUE(Zarn::writeCacheRecords(out, {bad, good})); });
    EXPECT_EQ(warnings, "Cache record for 'demo::bad' is not kept: its variable '1' cannot be written so that it "
                        "reads back. The target is built again next time.\n");
    std::istringstream in(out.str());
    const auto records = Zarn::readCacheRecords(in, "C", parser);
    ASSERT_TRUE(records);
    EXPECT_EQ(records->size(), 1u);
    EXPECT_EQ(records->count(Util::CiString("demo::good")), 1u);
}

}  // namespace
