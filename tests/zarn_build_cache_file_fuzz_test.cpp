// Damaged cache files through the reader: every truncation of a real file,
// and random byte flips, insertions, deletions and swapped numbers. Whatever
// the damage, the result is records or one warning, never a crash, a hang or
// a leak (the sanitizer build checks the last two), and whatever is read
// writes back in a form that reads back the same.
// ZARN_FUZZ_ITERATIONS raises the number of damaged files per format.
#include "zarn_build_cache_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>

#include "build_test_support.h"
#include "loader/assignment_text.h"

using namespace BuildTestSupport;
namespace fs = std::filesystem;

namespace {

const Zarn::AssignmentTextParser parser = [](const std::string& text, const fs::path& base) {
    return parseAssignmentText(text, base);
};

// A V5 file of three records holding every kind of value the cache keeps,
// escaped items included.
std::string v5File()
{
    auto record = [](std::vector<Zarn::RecipeIO> recipes, std::vector<Zarn::Assignment> environment) {
        Zarn::CacheRecordSnapshot snapshot;
        for (Zarn::RecipeIO& recipe : recipes) {
            const uint64_t fingerprint = Zarn::fingerprintInputs(recipe);
            snapshot.recipes.insert(fingerprint, std::move(recipe));
        }
        snapshot.environment = std::move(environment);
        return snapshot;
    };
    std::vector<Zarn::CacheRecordSnapshot> records;
    records.push_back(record({Zarn::RecipeIO{{Zarn::RecipeInput{set("day", str("6")), {}, false}},
                                             {output("out", path("/t/p/out.txt"))}}},
                             {set("cmdline", str("echo generated > out.txt")), set("cwd", str("/t/a)\"b\xff%"))}));
    records.back().key = "demo::gen";
    records.push_back(record(
        {Zarn::RecipeIO{{Zarn::RecipeInput{set("src", path("/t/p/a b.c")), set("obj", path("/t/o/a.o")), true},
                         Zarn::RecipeInput{set("flags", list({str("-O2"), raw("-D\"X\""), integer(-3)})), {}, false}},
                        {output("objs", list({path("/t/o/a.o")})), output("map", block({set("k", str("v"))}))}},
         Zarn::RecipeIO{{Zarn::RecipeInput{set("dep", block({set("out", path("/t/d.txt"))})), {}, false}}, {}}},
        {Zarn::Assignment("mode", nullptr, Zarn::Assignment::Declare)}));
    records.back().key = "app/core::lib@9f3a";
    records.push_back(record({}, {}));
    records.back().key = "p/u::empty";
    std::ostringstream out;
    EXPECT_TRUE(Zarn::writeCacheRecords(out, records));
    return out.str();
}

// A STRING and an ITEM of the file.
std::string text(const std::string& bytes)
{
    return std::to_string(bytes.size()) + "\n" + bytes + "\n";
}
std::string item(int type, int flags, const std::string& assignment)
{
    return "A " + std::to_string(type) + " " + std::to_string(flags) + "\n" + text(assignment);
}

// The older layouts: no intermediate flags (V4), and in V3 the environment
// is read and dropped. Values without a value, appends and blocks included.
std::string olderFile(const char* header)
{
    return std::string(header) + "\n2\n" + text("demo::gen") + "1\n1\n" + item(1, 0, "day = \"6\"") + "1\n" +
           item(1, 1, "out = P\"/t/p/out.txt\"") + "2\n" + item(1, 0, "cwd = \"/t/p\"") + item(4, 0, "mode :") +
           text("lib::all") + "2\n2\n" + item(2, 0, "x += [1, 2]") + item(3, 0, "y ?= { k = R\"(a\"b)\" }") +
           "0\n0\n0\n0\n";
}

// Pieces that damage tends to touch: numbers, markers, quotes, line ends.
const std::vector<std::string> kFragments = {
    "\n", "0", "1", "9", "A ", "A 1 0\n", "A 7 0\n", "18446744073709551615", "18446744073709551616", "-1", " ",
    "\"", "P\"", "P\"(", "R\"(", ")\"", "{", "}", "[", "]", "=", "+=", "${x}", "#1", "ZARN_CACHE_V5\n", "\r",
    std::string(1, '\0'), "\xFF", "\xC3\xA9"};

struct Damage {
    std::mt19937 random;

    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : random() % bound; }

    std::string apply(std::string text)
    {
        const std::size_t rounds = 1 + below(3);
        for (std::size_t r = 0; r < rounds; ++r) {
            const std::size_t at = below(text.size() + 1);
            switch (below(6)) {
            case 0:  // flip bits of one byte
                if (!text.empty())
                    text[at % text.size()] ^= static_cast<char>(1 + below(255));
                break;
            case 1:  // insert a fragment
                text.insert(at, kFragments[below(kFragments.size())]);
                break;
            case 2:  // delete a run
                text.erase(at, 1 + below(8));
                break;
            case 3:  // overwrite a byte with a fragment's first
                if (!text.empty())
                    text[at % text.size()] = kFragments[below(kFragments.size())][0];
                break;
            case 4:  // duplicate a run
                text.insert(at, text.substr(below(text.size() + 1), below(40)));
                break;
            default:  // cut the file short
                text.resize(at);
                break;
            }
        }
        return text;
    }
};

struct Outcome {
    std::size_t read = 0;     // files that loaded
    std::size_t refused = 0;  // files dropped with a warning
};

// The V5 text of the records, in key order.
std::string written(const Zarn::RuntimeRecordMap& records)
{
    std::vector<Zarn::CacheRecordSnapshot> snapshot;
    for (const auto& [key, record] : records)
        snapshot.push_back(Zarn::CacheRecordSnapshot{key.str(), record->recipes, record->environment});
    std::sort(snapshot.begin(), snapshot.end(),
              [](const Zarn::CacheRecordSnapshot& a, const Zarn::CacheRecordSnapshot& b) { return a.key < b.key; });
    std::ostringstream out;
    EXPECT_TRUE(Zarn::writeCacheRecords(out, snapshot));
    return out.str();
}

// Reads one file; what loads is written (records without a literal form
// left out), and that text reads back and is written again unchanged.
void check(const std::string& text, Outcome& outcome)
{
    std::istringstream in(text);
    std::optional<Zarn::RuntimeRecordMap> records = Zarn::readCacheRecords(in, "C", parser);
    if (!records) {
        ++outcome.refused;
        return;
    }
    ++outcome.read;
    const std::string first = written(*records);
    std::istringstream again(first);
    std::optional<Zarn::RuntimeRecordMap> reread = Zarn::readCacheRecords(again, "C", parser);
    ASSERT_TRUE(reread.has_value()) << first;
    EXPECT_EQ(written(*reread), first);
}

enum Format { V5, V4, V3 };

class CacheFileFuzz : public ::testing::TestWithParam<Format> { };

TEST_P(CacheFileFuzz, DamagedFilesGiveRecordsOrOneWarning)
{
    const std::string base = GetParam() == V5   ? v5File()
                             : GetParam() == V4 ? olderFile("ZARN_CACHE_V4")
                                                : olderFile("ZARN_CACHE_V3");
    const std::size_t count = TestSupport::fuzzIterations(2000);

    // The base file loads, and a damaged file warns exactly once.
    Outcome outcome;
    check(base, outcome);
    ASSERT_EQ(outcome.read, 1u);
    std::string warnings = captureOutput(LogLevel::Warning, [&] { check(base.substr(0, base.size() / 2), outcome); });
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;

    const struct Quiet {
        int saved = logThreshold.load();
        Quiet() { logThreshold = 8; }
        ~Quiet() { logThreshold = saved; }
    } quiet;
    outcome = Outcome();
    for (std::size_t length = 0; length < base.size(); ++length)
        check(base.substr(0, length), outcome);
    // Only cuts inside the final line ending can still load.
    EXPECT_LE(outcome.read, 1u);

    Damage damage{std::mt19937(14 + GetParam())};
    outcome = Outcome();
    for (std::size_t i = 0; i < count; ++i) {
        check(damage.apply(base), outcome);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    std::cout << "[ fuzz     ] " << base.size() << " truncations and " << count << " damaged files: " << outcome.read
              << " loaded, " << outcome.refused << " refused\n";
    // Some damage (inside a text, say) leaves a loadable file: the fuzzer
    // reaches beyond the first check.
    EXPECT_GT(outcome.read, count / 100);
    EXPECT_GT(outcome.refused, count / 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, CacheFileFuzz, ::testing::Values(V5, V4, V3),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return std::string(info.param == V5 ? "V5" : info.param == V4 ? "V4" : "V3");
                         });

}  // namespace
