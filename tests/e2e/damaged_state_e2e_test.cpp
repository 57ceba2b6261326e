// State files overwritten with anything at all: the warning that names one
// quotes a short, printable prefix of it, and none is read whole into memory
// before it is refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Nothing a terminal would take as a control: printable ASCII and newlines.
bool isPlainOutput(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= ' ' && c <= '~'); });
}

const char* const genUnit = "unit demo\ngen: {\n  ^out = P\"(out.txt)\"\n  cmdline = \"echo made > out.txt\"\n}\n";

TEST(DamagedStateE2e, ACacheOfRandomBytesIsNamedShortAndPrintableAndReplaced)
{
    Sandbox box;
    box.write("zarn.txt", genUnit);
    std::string garbage = "\x01\x1b[31m";
    std::mt19937 random(7);
    while (garbage.size() < 200 * 1024)
        garbage += static_cast<char>(random() & 0xff);
    std::replace(garbage.begin(), garbage.begin() + 64, '\n', '.');  // the first line runs on
    box.write(".zarn_cache", garbage);

    const auto run = box.run({});
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string start = "Cache file '" + (box.work() / ".zarn_cache").string() + "' has unsupported header '";
    const std::string end = "...'. Starting with empty cache.";
    const std::string warning = E2e::lines(run.out).at(0);
    EXPECT_EQ(warning.rfind(start + "\\x01\\x1b[31m", 0), 0u) << warning.substr(0, 200);
    EXPECT_EQ(warning.substr(warning.size() - std::min(warning.size(), end.size())), end);
    EXPECT_LE(warning.size(), start.size() + 40 + end.size());  // a quote of 40 characters at most
    EXPECT_TRUE(isPlainOutput(run.out + run.err)) << run.out.substr(0, 300);
    EXPECT_TRUE(contains(run.out, "[demo::gen] Build done\n")) << run.out.substr(0, 300);
    EXPECT_EQ(box.read(".zarn_cache").rfind("ZARN_CACHE_V5\n", 0), 0u);

    const auto next = box.run({"-v", "1"});
    EXPECT_TRUE(contains(next.out, "Cache hit for 'demo::gen'.\n")) << next.out;
    EXPECT_FALSE(contains(next.out, "Starting with empty cache")) << next.out;

    // "..." follows the quote of a header line only where the line goes on.
    const std::pair<std::string, std::string> headers[] = {{"ZARN_CACHE_V10", "ZARN_CACHE_V10"},
                                                           {"ZARN_CACHE_V5\r", "ZARN_CACHE_V5\\x0d"}};
    for (const auto& [header, quote] : headers) {
        box.write(".zarn_cache", header + "\n1\n");
        EXPECT_EQ(E2e::lines(box.run({}).out).at(0), start + quote + "'. Starting with empty cache.") << quote;
    }
}

// A cache file and a journal of 128 MiB, each one line without a newline,
// are refused after their first bytes: the run takes little more memory than
// one without them. So is a cache with the right header whose count line
// runs on.
TEST(DamagedStateE2e, LargeGarbageIsRefusedWithoutBeingReadIntoMemory)
{
    constexpr off_t size = 128 << 20;
    Sandbox box;
    box.write("zarn.txt", genUnit);
    const auto clean = box.run({});
    ASSERT_EQ(clean.status, 0) << clean.out;
    fs::remove(box.work() / "out.txt");
    for (const char* name : {".zarn_cache", ".zarn_cache.journal"}) {
        box.write(name, "\x01\x1b[31m");
        ASSERT_EQ(truncate((box.work() / name).c_str(), size), 0) << name;  // the rest reads as zero bytes
    }

    const auto run = box.run({});
    EXPECT_EQ(run.status, 0) << run.out.substr(0, 300);
    EXPECT_LT(run.peakKilobytes, clean.peakKilobytes + size / 1024 / 8);
    EXPECT_TRUE(isPlainOutput(run.out)) << run.out.substr(0, 300);
    EXPECT_TRUE(contains(run.out, "' has unsupported header '\\x01\\x1b[31m\\x00\\x00") &&
                contains(run.out, "Build journal '" + (box.work() / ".zarn_cache.journal").string() +
                                      "' cannot be read. Starting with empty cache.\n"))
        << run.out.substr(0, 300);
    // The save drops the damage with the rest of what it read.
    EXPECT_EQ(box.read(".zarn_cache").rfind("ZARN_CACHE_V5\n", 0), 0u);
    EXPECT_FALSE(fs::exists(box.work() / ".zarn_cache.journal"));

    fs::remove(box.work() / "out.txt");
    box.write(".zarn_cache", "ZARN_CACHE_V5\n");
    ASSERT_EQ(truncate((box.work() / ".zarn_cache").c_str(), size), 0);
    const auto counted = box.run({});
    EXPECT_EQ(counted.status, 0) << counted.out.substr(0, 300);
    EXPECT_LT(counted.peakKilobytes, clean.peakKilobytes + size / 1024 / 8);
    EXPECT_EQ(E2e::lines(counted.out).at(0), "Cache file '" + (box.work() / ".zarn_cache").string() +
                                                 "' has invalid records count. Starting with empty cache.");
    EXPECT_TRUE(contains(counted.out, "[demo::gen] Build done\n")) << counted.out.substr(0, 300);
}

// A count line whose newline is not within its 32 bytes is named like any
// other invalid count, and the target built again; blanks or zeros before the
// count within that bound leave the cache as good as it was.
TEST(DamagedStateE2e, ACountLineIsReadWithinItsBoundOrNamed)
{
    Sandbox box;
    box.write("zarn.txt", genUnit);
    ASSERT_EQ(box.run({}).status, 0);
    const std::string sound = box.read(".zarn_cache");
    ASSERT_EQ(sound.rfind("ZARN_CACHE_V5\n1\n", 0), 0u) << sound;
    const std::string warning = "Cache file '" + (box.work() / ".zarn_cache").string() +
                                "' has invalid records count. Starting with empty cache.\n";
    const struct {
        std::string countLine;
        bool reused;
    } cases[] = {
        {std::string(40, '0') + "1", false},
        {std::string(31, ' ') + "1", false},
        {std::string(30, '0') + "1", true},
    };
    for (const auto& c : cases) {
        box.write(".zarn_cache", "ZARN_CACHE_V5\n" + c.countLine + sound.substr(15));
        const auto run = box.run({"-v", "1"});
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(contains(run.out, warning), !c.reused) << c.countLine << "\n" << run.out;
        EXPECT_EQ(contains(run.out, "Cache hit for 'demo::gen'.\n"), c.reused) << c.countLine << "\n" << run.out;
        EXPECT_EQ(box.read(".zarn_cache"), sound) << c.countLine;  // written anew when dropped
    }
}

// A syntax error in the registry quotes its text short and printable.
TEST(DamagedStateE2e, ARegistryOfGarbageIsNamedShortAndPrintable)
{
    Sandbox box;
    box.write("zarn.txt", genUnit);
    box.write(box.registryFile(), "tools {\n  x = \"\x1b[31m" + std::string(300000, 'a'));
    const auto run = box.run({});
    EXPECT_EQ(run.status, 0) << run.out.substr(0, 300);
    EXPECT_EQ(E2e::lines(run.out).at(0), "Unable to load registry file: " + box.registryFile().string() +
                                             "(2,6): token recognition error at: '\"\\x1b[31m" +
                                             std::string(31, 'a') + "...'");
    EXPECT_TRUE(isPlainOutput(run.out + run.err)) << run.out.substr(0, 300);
}

}  // namespace
