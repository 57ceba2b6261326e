#include "zarn_build_cache_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "build_test_support.h"
#include "loader/assignment_text.h"
#include "types/zarn_exceptions.h"
#include "zarn_cache_values.h"

using namespace BuildTestSupport;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const Zarn::AssignmentTextParser parser = [](const std::string& text, const fs::path& base) {
    return parseAssignmentText(text, base);
};

Zarn::RuntimeRecordPtr recordOf(Zarn::RecipeIO recipe, std::vector<Zarn::Assignment> environment)
{
    auto record = std::make_shared<Zarn::RuntimeRecord>();
    const uint64_t fingerprint = Zarn::fingerprintInputs(recipe);
    record->recipes.insert(fingerprint, std::move(recipe));
    record->environment = std::move(environment);
    return record;
}

Zarn::CacheRecordSnapshot snapshotOf(const std::string& key, const Zarn::RuntimeRecordPtr& record)
{
    return Zarn::CacheRecordSnapshot{key, record->recipes, record->environment};
}

// The record of a "command" target gen of unit demo.
Zarn::RuntimeRecordPtr genRecord()
{
    return recordOf(Zarn::RecipeIO{{Zarn::RecipeInput{set("day", str("6")), {}, false}},
                                   {output("out", path("/t/p/out.txt"))}},
                    {set("cmdline", str("echo generated > out.txt")), set("cwd", str("/t/p"))});
}

const char* const genFile =
    "ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n1\nA 1 0\n9\nday = \"6\"\n0\n1\nA 1 1\n21\nout = P\"/t/p/out.txt\"\n"
    "2\nA 1 0\n36\ncmdline = \"echo generated > out.txt\"\nA 1 0\n12\ncwd = \"/t/p\"\n";

std::optional<Zarn::RuntimeRecordMap> readText(const std::string& text, std::string* log = nullptr)
{
    std::optional<Zarn::RuntimeRecordMap> records;
    const std::string out = captureOutput(LogLevel::Warning, [&] {
        std::istringstream in(text);
        records = Zarn::readCacheRecords(in, "C", parser);
    });
    if (log)
        *log = out;
    return records;
}

std::string writeText(const std::vector<Zarn::CacheRecordSnapshot>& records)
{
    std::ostringstream out;
    EXPECT_TRUE(Zarn::writeCacheRecords(out, records));
    return out.str();
}

TEST(CacheItem, TakesOperatorAndFlagsFromTheLine)
{
    std::stringstream stream;
    ASSERT_TRUE(Zarn::writeCacheItem(stream, Zarn::Assignment("x", str("v"), Zarn::Assignment::Append, 1)));
    EXPECT_EQ(stream.str(), "A 2 1\n8\nx += \"v\"\n");

    std::istringstream in("A 3 2\n5\nx = 1\n");
    Zarn::Assignment item;
    ASSERT_TRUE(Zarn::readCacheItem(in, item, parser));
    EXPECT_EQ(item.name, "x");
    EXPECT_EQ(item.type, Zarn::Assignment::SetIfUnset);
    EXPECT_EQ(item.flags, 2u);
    EXPECT_EQ(item.value->toString(), "1");

    // Text that does not parse is taken only as "name <operator>" and blanks.
    struct Case {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"A 2 0\n5\nx += \n", true}, {"A 1 0\n7\nx = \t\r\n\n", true}, {"A 1 0\n5\nx = [\n", false},
        {"A 2 0\n4\nx = \n", false}, {"A 5 0\n5\nx = 1\n", false}, {"A 1 0 9\n5\nx = 1\n", false},
        // escaped items: bad escapes, another mark, bytes the lexer refuses
        {"A 1 0 %\n7\nx = \"%\"\n", false}, {"A 1 0 %\n9\nx = \"%G0\"\n", false}, {"A 1 0 %\n8\nx = \"%4\"\n", false},
        {"A 1 0 %%\n7\nx = \"a\"\n", false}, {"A 1 0 % %\n7\nx = \"a\"\n", false},
        {"A 1 0 %\n7\nx = \"\xff\"\n", false},
    };
    for (const Case& c : cases) {
        std::istringstream text(c.text);
        Zarn::Assignment valueless;
        const bool ok = Zarn::readCacheItem(text, valueless, parser);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (ok && c.ok) {
            EXPECT_EQ(valueless.name, "x") << c.text;
            EXPECT_FALSE(valueless.value) << c.text;
        }
    }
}

// The text of the value after resolution through the context, or what
// made the resolution fail.
std::string resolvedText(const Zarn::ZarnValuePtr& value, Zarn::Context& context)
{
    auto* resolvable = dynamic_cast<Zarn::Resolvable*>(value.get());
    if (!resolvable)
        return "not resolvable";
    std::string text;
    captureOutput(LogLevel::Warning, [&] {
        try {
            resolvable->setResolver(&context);
            const Zarn::ZarnValuePtr resolved = resolvable->resolve();
            if (const auto* block = dynamic_cast<const Zarn::ZarnContext*>(resolved.get()))
                text = textOf(*block->getContext(), "out");
            else
                text = resolved->toString();
        } catch (const Zarn::ZarnException& error) {
            text = "failed: " + error.getMessage();
        } catch (const std::exception& error) {
            text = std::string("failed: ") + error.what();
        }
    });
    return text;
}

TEST(CacheItem, ValuesReadBackAreFinalAndNeverExpandedAgain)
{
    Zarn::Context context;
    context.addAssignment(set("x", str("X")));
    context.addAssignment(set("names", list({str("m"), str("n")})));
    struct Case {
        Zarn::ZarnValuePtr value;
        const char* text;  // as written, and as resolved after reading back
    };
    const Case cases[] = {
        {str("a${x}#1"), "a${x}#1"},
        {str("-I#{names}"), "-I#{names}"},
        {path("/p/b#1${x}.o"), "/p/b#1${x}.o"},
        {list({str("#2"), path("/p/${x}")}), "#2 /p/${x}"},
        {block({output("out", list({str("${x}#3")}))}), "${x}#3"},
    };
    for (const Case& c : cases) {
        std::stringstream stream;
        ASSERT_TRUE(Zarn::writeCacheItem(stream, set("v", c.value)));
        Zarn::Assignment item;
        ASSERT_TRUE(Zarn::readCacheItem(stream, item, parser)) << stream.str();
        ASSERT_TRUE(item.value) << c.text;
        if (!dynamic_cast<const Zarn::ZarnContext*>(item.value.get())) {
            EXPECT_TRUE(Zarn::isFinalText(*item.value)) << c.text;
        }
        EXPECT_EQ(resolvedText(item.value, context), c.text);
    }
}

TEST(CacheFileFormat, V5RoundTripKeepsIntermediatesPathsBlocksAndQuotedLists)
{
    auto record = recordOf(
        Zarn::RecipeIO{{Zarn::RecipeInput{set("src", path("/p/a.c")), set("src", path("/p/a.o")), false},
                        Zarn::RecipeInput{set("defs", list({str("USE_HTTP"), str("x")})), {}, false},
                        Zarn::RecipeInput{set("gen", block({output("out", path("/p/g.txt"))})), {}, false}},
                       {output("binary", path("/p/app"))}},
        {set("cmdline", str("cc -c\necho two lines"))});
    const std::string text = writeText({snapshotOf("demo::app", record)});
    auto records = readText(text);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    const auto& read = records->at(Util::CiString("demo::app"));
    ASSERT_EQ(read->recipes.size(), 1u);
    const Zarn::RecipeIO& original = record->recipes.begin()->second;
    const Zarn::RecipeIO* recipe = read->recipes.find(Zarn::fingerprintInputs(original));
    ASSERT_NE(recipe, nullptr);
    ASSERT_EQ(recipe->inputs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(Zarn::cacheAssignmentsEqual(recipe->inputs[i].input, original.inputs[i].input)) << i;
        EXPECT_TRUE(Zarn::cacheValuesEqual(recipe->inputs[i].intermediate.value, original.inputs[i].intermediate.value))
            << i;
    }
    // and it writes back byte for byte
    EXPECT_EQ(writeText({snapshotOf("demo::app", read)}), text);
}

TEST(CacheFileFormat, ReadsV4WithoutIntermediatesAndV3WithoutEnvironment)
{
    const std::string v4 = "ZARN_CACHE_V4\n1\n9\ndemo::gen\n1\n1\nA 1 0\n9\nday = \"6\"\n1\nA 1 1\n7\nout = 1\n"
                           "1\nA 1 0\n12\ncwd = \"/t/p\"\n";
    auto records = readText(v4);
    ASSERT_TRUE(records);
    const auto& record = records->at(Util::CiString("demo::gen"));
    EXPECT_EQ(record->environment.size(), 1u);
    const Zarn::RecipeIO& recipe = record->recipes.begin()->second;
    ASSERT_EQ(recipe.inputs.size(), 1u);
    EXPECT_FALSE(recipe.inputs[0].intermediate.value);
    ASSERT_EQ(recipe.outputs.size(), 1u);

    std::string v3 = v4;
    v3.replace(0, 13, "ZARN_CACHE_V3");
    records = readText(v3);
    ASSERT_TRUE(records);
    EXPECT_TRUE(records->at(Util::CiString("demo::gen"))->environment.empty());
    // written back as V5
    const std::string written = writeText({snapshotOf("demo::gen", records->at(Util::CiString("demo::gen")))});
    EXPECT_EQ(written.rfind("ZARN_CACHE_V5\n", 0), 0u);
}

TEST(CacheFileFormat, EveryDefectGivesOneWarningAndNoRecords)
{
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string good(genFile);
    auto cut = [&](const std::string& marker) { return good.substr(0, good.find(marker)); };
    const std::string invalidCount = "Cache file 'C' has invalid records count. Starting with empty cache.\n";
    auto malformed = [](const char* element) {
        return std::string("Cache file 'C' is malformed (") + element + "). Starting with empty cache.\n";
    };
    const std::vector<Case> cases = {
        {"", "Cache file 'C' has invalid header. Starting with empty cache.\n"},
        {"\n", "Cache file 'C' has unsupported header ''. Starting with empty cache.\n"},
        {"ZARN_CACHE_V2\n1\n", "Cache file 'C' has unsupported header 'ZARN_CACHE_V2'. Starting with empty cache.\n"},
        // No more than the longest header line and its newline is read, and
        // the quote is short and printable; "..." only where the line goes on.
        {"ZARN_CACHE_V5\r\n1\n", "Cache file 'C' has unsupported header 'ZARN_CACHE_V5\\x0d'. Starting with empty cache.\n"},
        {"ZARN_CACHE_V50\n1\n", "Cache file 'C' has unsupported header 'ZARN_CACHE_V50'. Starting with empty cache.\n"},
        {"ZARN_CACHE_V10", "Cache file 'C' has unsupported header 'ZARN_CACHE_V10'. Starting with empty cache.\n"},
        {"ZARN_CACHE_V500\n1\n", "Cache file 'C' has unsupported header 'ZARN_CACHE_V50...'. Starting with empty cache.\n"},
        {"\x01\x1b[31m" + std::string(100000, 'x') + "\n",
         "Cache file 'C' has unsupported header '\\x01\\x1b[31mxxxxxxxx...'. Starting with empty cache.\n"},
        {"ZARN_CACHE_V5", invalidCount},
        {"ZARN_CACHE_V5\n18446744073709551615\n", invalidCount},
        // A count line ends within 32 bytes, its newline included, and not
        // with the file: its digits might go on.
        {"ZARN_CACHE_V5\n" + std::string(31, '0') + good.substr(14), invalidCount},
        {"ZARN_CACHE_V5\n" + std::string(31, ' ') + good.substr(14), invalidCount},
        {"ZARN_CACHE_V5\n" + std::string(1000, '0'), invalidCount},
        {"ZARN_CACHE_V5\n0", invalidCount},
        {"ZARN_CACHE_V5\n1", invalidCount},
        {"ZARN_CACHE_V5\n1\n10\ndemo::gen\n1\n", malformed("record key")},
        {"ZARN_CACHE_V5\n1\n8\ndemo::gen\n1\n", malformed("record key")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n18446744073709551615\n", malformed("recipe count")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n-5\n", malformed("inputs count")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n1\nA 1 0\n5\nx = [\n", malformed("input assignment")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n1\nA 1 0\n5\nx = 1\n2\n0\n0\n", malformed("input intermediate flag")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n1\nA 1 0\n5\nx = 1\n1\nA 1 0\n", malformed("input intermediate assignment")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n0\n99\n", malformed("outputs count")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n1\n0\n1\nA 1 1\n", malformed("output assignment")},
        {"ZARN_CACHE_V5\n1\n9\ndemo::gen\n0\n-1\n", malformed("env/context count")},
        {cut("A 1 0\n12\ncwd"), malformed("env/context assignment")},
        // a second record that is missing drops the first one too
        {"ZARN_CACHE_V5\n2\n9\ndemo::gen\n0\n0\n", malformed("record key")},
    };
    for (const Case& c : cases) {
        std::string log;
        EXPECT_FALSE(readText(c.text, &log)) << c.text;
        EXPECT_EQ(log, c.message) << c.text;
    }
    // Within the bound, blanks or zeros before the count are no defect.
    for (const char pad : {'0', ' '}) {
        const auto read = readText("ZARN_CACHE_V5\n" + std::string(30, pad) + good.substr(14));
        EXPECT_EQ(read ? read->size() : 0u, 1u) << pad;
    }
}

// A stream that starts with no header is read no further than a header
// line and its newline would take, and one byte more that tells whether the
// line goes on.
TEST(CacheFileFormat, ReadingStopsWhereTheHeaderIsKnownToBeWrong)
{
    for (const std::string& text : {std::string(1000000, '\x01'), "ZARN_CACHE_V5 and more\n1\n"s}) {
        std::istringstream in(text);
        captureOutput(LogLevel::Warning, [&] { EXPECT_FALSE(Zarn::readCacheRecords(in, "C", parser)); });
        EXPECT_EQ(in.tellg(), std::streampos(15)) << text.substr(0, 20);
    }
}

TEST(CacheFileFormat, RecordsThatWouldNotReadBackAreLeftOut)
{
    auto bad = recordOf(Zarn::RecipeIO{{Zarn::RecipeInput{set("1", str("x")), {}, false}}, {output("o", str("y"))}},
                        {});
    std::string text;
    const std::string warnings = captureOutput(LogLevel::Warning, [&] {
        text = writeText({snapshotOf("demo::bad", bad), snapshotOf("demo::gen", genRecord())});
    });
    EXPECT_EQ(text, genFile);
    EXPECT_EQ(warnings, "Cache record for 'demo::bad' is not kept: its variable '1' cannot be written so that it "
                        "reads back. The target is built again next time.\n");
}

// What saving the record of genRecord() to the file reports.
std::string save(const fs::path& file)
{
    Zarn::RuntimeCache cache(file);
    cache.records.emplace(Util::CiString("demo::gen"), genRecord());
    return captureOutput(LogLevel::Error, [&] { Zarn::saveCacheFile(cache); });
}

// The file is written in the V5 layout (its directory made on the way),
// without the records claimed and not stored, and loads back.
TEST(CacheFile, ClaimedRecordsAreNotSaved)
{
    TempDir dir;
    Zarn::RuntimeCache nested(dir / "a" / "b" / ".zarn_cache");
    nested.records.emplace(Util::CiString("demo::gen"), genRecord());
    auto claimed = genRecord();
    claimed->pending = 1;
    claimed->claimToken = 4;
    nested.records.emplace(Util::CiString("demo::failed"), claimed);
    Zarn::saveCacheFile(nested);
    EXPECT_EQ(readFile(nested.cacheFile), genFile);
    // Nothing else beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "a" / "b"), fs::directory_iterator()), 1);

    Zarn::RuntimeCache loaded(nested.cacheFile);
    Zarn::loadCacheFile(loaded);
    ASSERT_EQ(loaded.records.size(), 1u);
    EXPECT_FALSE(loaded.records.begin()->second->ready);
}

TEST(CacheFile, SaveFailuresAreReportedAndKeepWhatTheyCan)
{
    TempDir dir;
    // No temporary file can be made (its name would be too long): the old file stays.
    const fs::path longName = dir / std::string(250, 'c');
    dir.write(longName.filename(), "old");
    const std::string open = save(longName);
    EXPECT_EQ(open.rfind("Unable to open cache file '" + longName.string() + ".tmp.", 0), 0u) << open;
    EXPECT_NE(open.find("' for writing.\n"), std::string::npos) << open;
    EXPECT_EQ(readFile(longName), "old");

    // A directory in the way is never removed: the failure is reported and
    // the temporary file goes.
    for (const char* inTheWay : {"empty", "full"}) {
        const fs::path cacheFile = dir / inTheWay / ".zarn_cache";
        fs::create_directories(cacheFile);
        if (std::string(inTheWay) == "full")
            dir.write(std::string(inTheWay) + "/.zarn_cache/keep");
        const std::string replace = save(cacheFile);
        EXPECT_EQ(replace.rfind("Unable to replace cache file '" + cacheFile.string() + "' with '" +
                                    cacheFile.string() + ".tmp.",
                                0),
                  0u)
            << replace;
        EXPECT_TRUE(fs::is_directory(cacheFile));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / inTheWay), fs::directory_iterator()), 1);
    }

    // A write that fails midway, as on a full disk, is a failed flush; the
    // partial file goes, the old file stays.
    const fs::path full = dir.write("nospace/.zarn_cache", "old");
    std::string flush;
    // Room for the message (captured in a file), not for the cache.
    withFileSizeLimit(128, [&] { flush = save(full); });
    EXPECT_EQ(flush.rfind("Unable to flush cache file '" + full.string() + ".tmp.", 0), 0u) << flush;
    EXPECT_EQ(readFile(full), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "nospace"), fs::directory_iterator()), 1);

    dir.write("file");
    EXPECT_EQ(save(dir / "file" / "sub" / ".zarn_cache")
                  .rfind("Unable to create cache directory '" + (dir / "file" / "sub").string() + "': ", 0),
              0u);
}

// Records of builds that the journal lists as started and never saved are
// dropped at loading; a save settles the journal.
TEST(CacheFile, RecordsOfUnfinishedBuildsAreNotLoaded)
{
    TempDir dir;
    Zarn::RuntimeCache saved(dir / ".zarn_cache");
    saved.records.emplace(Util::CiString("demo::gen"), genRecord());
    saved.records.emplace(Util::CiString("demo::other"), genRecord());
    Zarn::saveCacheFile(saved);
    saved.journal.recordStart("DEMO::GEN");  // then the run died

    Zarn::RuntimeCache next(saved.cacheFile);
    const std::string log = captureOutput(LogLevel::Debug, [&] { Zarn::loadCacheFile(next); });
    EXPECT_EQ(log, "The last build of 'DEMO::GEN' did not finish; its cache record is dropped.\n");
    ASSERT_EQ(next.records.size(), 1u);
    EXPECT_EQ(next.records.begin()->first.str(), "demo::other");
    EXPECT_TRUE(fs::exists(next.journal.file()));
    Zarn::saveCacheFile(next);
    EXPECT_FALSE(fs::exists(next.journal.file()));

    // A journal that cannot be trusted: nothing is reused.
    dir.write(".zarn_cache.journal", "demo::gen");
    Zarn::RuntimeCache damaged(saved.cacheFile);
    EXPECT_EQ(captureOutput(LogLevel::Warning, [&] { Zarn::loadCacheFile(damaged); }),
              "Build journal '" + damaged.journal.file().string() + "' cannot be read. Starting with empty cache.\n");
    EXPECT_TRUE(damaged.records.empty());
}

// A cache file that cannot be read is an empty cache, without a message.
TEST(CacheFile, AnUnreadableFileIsAnEmptyCache)
{
    TempDir dir;
    fs::create_directory(dir / ".zarn_cache");
    Zarn::RuntimeCache cache(dir / ".zarn_cache");
    cache.records.emplace(Util::CiString("demo::gen"), genRecord());
    EXPECT_EQ(captureOutput(LogLevel::Debug, [&] { Zarn::loadCacheFile(cache); }), "");
    EXPECT_TRUE(cache.records.empty());
}

}  // namespace
