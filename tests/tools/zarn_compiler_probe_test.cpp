#include "tools/zarn_compiler_probe.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"
#include "tools/fake_toolchain.h"

namespace fs = std::filesystem;
using namespace Zarn;
using FakeToolchain::Answer;
using TestSupport::TempDir;

namespace {

std::string joined(const std::vector<uint32_t>& parts)
{
    std::string text;
    for (uint32_t part : parts)
        text += (text.empty() ? "" : ",") + std::to_string(part);
    return text;
}

// "name=machine/version" of each probe, in order.
std::string describe(const std::vector<CompilerProbe>& probes)
{
    std::string text;
    for (const auto& probe : probes)
        text += (text.empty() ? "" : " ") + probe.exePath.filename().string() + "=" + probe.machine + "/" +
                probe.version;
    return text;
}

}  // namespace

TEST(VersionTest, ParsesComparesAndChecksMinimums)
{
    const std::vector<std::pair<std::string, std::string>> parsed = {
        {"12.2.0", "12,2,0"}, {"12.", "12"},    {".5", "0,5"},     {"x", "0"},
        {"1..2", "1,0,2"}, {"10.3-win32", "10,3"},
        {"-1", "4294967295"}, {"99999999999999999999999", "0"},
    };
    for (const auto& [text, parts] : parsed)
        EXPECT_EQ(joined(parseVersion(text)), parts) << text;

    const std::vector<std::tuple<std::string, std::string, int>> compared = {
        {"12", "12.0.0", 0}, {"12.10", "12.9", 1}, {"", "0", 0}, {"1.2", "1.2.1", -1}, {"", "", 0},
    };
    for (const auto& [a, b, expected] : compared) {
        EXPECT_EQ(compareVersions(a, b), expected) << a << " vs " << b;
        EXPECT_EQ(compareVersions(b, a), -expected) << b << " vs " << a;
    }

    const std::vector<std::tuple<std::string, std::string, bool>> minimums = {
        {"4.9", "", true}, {"4.9", "0", true}, {"4.9", "10", false}, {"10.1", "10", true},
        {"", "10", false}, {"10", "10.0", true},
    };
    for (const auto& [installed, requested, expected] : minimums)
        EXPECT_EQ(versionSatisfies(installed, requested), expected) << installed << " for " << requested;
}

TEST(CommandCaptureTest, TrimsOutputAndReportsTheExitStatus)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    struct Case {
        std::string body;
        std::string output;
        int status;
    };
    const std::vector<Case> cases = {
        {"printf '  12.2.0\\r\\n'", "12.2.0", 0},
        {"printf '\\v12\\f\\n'", "\v12\f", 0},
        {"echo partial; exit 1", "partial", 1},
        {"echo on-error >&2; echo out", "out", 0},  // standard error is discarded
        {"cat; echo done", "done", 0},              // standard input is empty
        {"echo before; kill -9 $$", "before", -1},  // ended by a signal
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const fs::path script = bin.addScript("s" + std::to_string(i), cases[i].body + "\n");
        const CaptureResult result = runCommandCapture(script, {});
        EXPECT_EQ(result.output, cases[i].output) << cases[i].body;
        EXPECT_EQ(result.exitStatus, cases[i].status) << cases[i].body;
    }
    const CaptureResult bare = runCommandCapture("sh", {"-c", "echo found"});
    EXPECT_EQ(bare.output, "found");
    const CaptureResult missing = runCommandCapture(dir / "no-such-program", {"-dumpmachine"});
    EXPECT_EQ(missing.exitStatus, -1);
    EXPECT_EQ(missing.output, "");
}

TEST(CommandCaptureTest, PassesPathAndArgumentsWithoutAShell)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "a \"b\" $(touch pwned) `touch pwned2` c");
    const fs::path script = bin.addScript("echo-args", "for a in \"$@\"; do printf '[%s]' \"$a\"; done\n");
    const CaptureResult result = runCommandCapture(script, {"$(touch pwned3)", "two words", "'q'"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, "[$(touch pwned3)][two words]['q']");
    for (const char* name : {"pwned", "pwned2", "pwned3"}) {
        EXPECT_FALSE(fs::exists(dir / name));
        EXPECT_FALSE(fs::exists(fs::path(name)));
    }
}

TEST(CommandCaptureTest, EndsAProgramThatDoesNotAnswerAndCapsItsOutput)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    // The child left behind holds the pipe open; it must be ended too.
    const fs::path hanging = bin.addScript("hangs", "echo started\nsleep 3600 &\nwait\n");
    CaptureResult result;
    const std::string log = TestSupport::captureLog(6, [&] {
        result = runCommandCapture(hanging, {}, std::chrono::milliseconds(300));
    });
    EXPECT_EQ(result.exitStatus, -1);
    EXPECT_EQ(result.output, "started");
    EXPECT_EQ(log, "'" + hanging.string() + "' did not answer within 0.3 seconds and was stopped.\n");

    const fs::path chatty = bin.addScript("chatty", "head -c 200000 /dev/zero | tr '\\0' x\n");
    const CaptureResult big = runCommandCapture(chatty, {});
    EXPECT_EQ(big.exitStatus, 0);
    EXPECT_EQ(big.output, std::string(maxCapturedOutput, 'x'));
}

TEST(CompilerVersionSuffixTest, TakesTheDottedNumberAtTheEndOfTheName)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/usr/bin/gcc-12", "-12"},     {"/b/x86_64-linux-gnu-g++-10.2", "-10.2"},
        {"/b/arm-none-eabi-gcc", ""},
        {"/b/gcc-11.exe", "-11"},       {"/b/GCC-9.EXE", "-9"},
    };
    for (const auto& [path, suffix] : cases)
        EXPECT_EQ(compilerVersionSuffix(path), suffix) << path;
}

TEST(ProbeCompilerDirectoryTest, AcceptsCompilerNamesOnly)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    // Distinct machines keep every accepted name apart in the result.
    const std::vector<std::pair<std::string, bool>> names = {
        {"gcc", true},          {"cc", true},           {"gcc-12", true},          {"x86_64-linux-gnu-gcc-12", true},
        {"arm-none-eabi-gcc", true}, {"gcc.exe", true}, {"GCC.EXE", false},       {"gcc-ar", false},
        {"gcc-nm-12", false},   {"x86_64-w64-mingw32-gcc-posix", false}, {"gnatgcc", false}, {"g++", false},
        {"Gcc", false},         {"gcc-", false},
    };
    for (size_t i = 0; i < names.size(); ++i)
        bin.addGcc(names[i].first, "m" + std::to_string(i), "1.0");
    std::vector<std::string> expected;
    for (const auto& entry : fs::directory_iterator(bin.path())) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i].first == entry.path().filename() && names[i].second)
                expected.push_back(names[i].first + "=m" + std::to_string(i) + "/1.0");
        }
    }
    std::string expectedText;
    for (const auto& item : expected)
        expectedText += (expectedText.empty() ? "" : " ") + item;
    EXPECT_EQ(describe(probeCompilerDirectory("gcc", bin.path())), expectedText);

    FakeToolchain::BinDir cpp(dir / "cpp");
    cpp.addGxx("arm-none-eabi-g++", "arm-none-eabi", "9.4.0");
    cpp.addGxx("gcc", "not-cpp", "1");
    EXPECT_EQ(describe(probeCompilerDirectory("g\\+\\+", cpp.path())), "arm-none-eabi-g++=arm-none-eabi/9.4.0");
}

TEST(ProbeCompilerDirectoryTest, TakesTheVersionFromTheFirstAnswer)
{
    struct Case {
        std::string name;
        Answer machine;
        Answer fullVersion;
        Answer version;
        std::string expected;  // "" when the file is not recorded
    };
    const std::vector<Case> cases = {
        {"gcc", Answer::print("x86_64-linux-gnu"), Answer::print("12.2.0"), Answer::print("12"), "12.2.0"},
        {"gcc", Answer::print("x86_64-linux-gnu"), Answer::fail(), Answer::print("9"), "9"},
        {"gcc-12", Answer::print("x86_64-linux-gnu"), Answer::fail(), Answer::fail(), "12"},
        {"x86_64-linux-gnu-gcc-10.2", Answer::print("m"), Answer::print(""), Answer::fail(), "10.2"},
        {"gcc", Answer::print("m"), Answer::fail(), Answer::fail(), "<none>"},
        {"gcc", Answer::fail(), Answer::print("12.2.0"), Answer::print("12"), ""},
        {"gcc", Answer::print(" "), Answer::print("12.2.0"), Answer::print("12"), ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeToolchain::BinDir bin(dir / "bin");
        FakeToolchain::Compiler fake{c.name, c.machine, c.fullVersion, c.version, "/usr/bin/gcc"};
        bin.add(fake);
        const auto probes = probeCompilerDirectory("gcc", bin.path());
        if (c.expected.empty()) {
            EXPECT_TRUE(probes.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(probes.size(), 1u) << c.name;
        EXPECT_EQ(probes[0].version, c.expected == "<none>" ? "" : c.expected) << c.name;
        EXPECT_EQ(probes[0].exePath, bin / c.name);
    }
}

TEST(ProbeCompilerDirectoryTest, ProbesOneFileOnceAndOneAnswerOnce)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    bin.addGcc("gcc-12", "x86_64-linux-gnu", "12.2.0");
    bin.addLink("gcc", "gcc-12");
    bin.addGcc("gcc-11", "x86_64-linux-gnu", "11.4.0");
    // A wrapper: its own file, but the same answers as gcc-12.
    bin.addScript("c99-gcc", "exec " + (bin / "gcc-12").string() + " \"$@\"\n");
    const auto probes = probeCompilerDirectory("gcc", bin.path());
    ASSERT_EQ(probes.size(), 2u) << describe(probes);
    std::vector<std::string> versions{probes[0].version, probes[1].version};
    std::sort(versions.begin(), versions.end());
    EXPECT_EQ(versions, (std::vector<std::string>{"11.4.0", "12.2.0"}));
}

// Aliases that are no compiler names must not hide the compiler's own name,
// whatever order the directory lists them in.
TEST(ProbeCompilerDirectoryTest, AnAliasThatIsNoCompilerNameHidesNothing)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    bin.addGcc("x86_64-linux-gnu-gcc-12");
    for (int i = 0; i < 30; ++i)
        bin.addLink("gnatgcc" + std::to_string(i), "x86_64-linux-gnu-gcc-12");
    EXPECT_EQ(describe(probeCompilerDirectory("gcc", bin.path())), "x86_64-linux-gnu-gcc-12=x86_64-linux-gnu/12.2.0");
}

TEST(ProbeCompilerDirectoryTest, ReportsInListingOrderWhateverOrderTheAnswersCome)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    for (int i = 0; i < 12; ++i) {
        // Later files answer sooner.
        bin.addScript("p" + std::to_string(i) + "-gcc", "[ \"$1\" = -dumpmachine ] && sleep 0.0" + std::to_string(12 - i) +
                                     " && echo m" + std::to_string(i) + " && exit 0\n[ \"$1\" = -dumpfullversion ] && echo 1\n");
    }
    std::string expected;
    for (const auto& entry : fs::directory_iterator(bin.path())) {
        const std::string name = entry.path().filename().string();
        expected += (expected.empty() ? "" : " ") + name + "=m" + name.substr(1, name.find('-') - 1) + "/1";
    }
    EXPECT_EQ(describe(probeCompilerDirectory("gcc", bin.path())), expected);
}

TEST(ProbeCompilerDirectoryTest, GivesNothingForAFileOrAMissingPath)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    const fs::path gcc = bin.addGcc("gcc");
    EXPECT_TRUE(probeCompilerDirectory("gcc", gcc).empty());
    EXPECT_TRUE(probeCompilerDirectory("gcc", dir / "missing").empty());
}

// A stray file that never answers costs one timeout, not the start-up.
TEST(ProbeCompilerDirectoryTest, SkipsACompilerThatHangs)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    FakeToolchain::Compiler hanging = FakeToolchain::compiler("hang-gcc", "h", "1");
    hanging.machine = Answer::hang();
    bin.add(hanging);
    bin.addGcc("gcc", "x86_64-linux-gnu", "12.2.0");
    std::vector<CompilerProbe> probes;
    const std::string log = TestSupport::captureLog(6, [&] { probes = probeCompilerDirectory("gcc", bin.path()); });
    EXPECT_EQ(describe(probes), "gcc=x86_64-linux-gnu/12.2.0");
    EXPECT_NE(log.find("hang-gcc"), std::string::npos) << log;
}
