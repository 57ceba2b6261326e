// Finding C3 compilers: version texts, version rules, the probe and the
// search below a toolchain path, with stand-in compilers.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/fake_c3c.h"
#include "tools/zarn_c3_compiler_search.h"

namespace {

using namespace TestSupport;
using Zarn::C3CompilerProbe;
using Zarn::C3ToolchainRequest;
namespace fs = std::filesystem;

FakeC3c::Options reporting(const std::string& version)
{
    FakeC3c::Options options;
    options.versionOutput = FakeC3c::banner(version);
    return options;
}

std::vector<std::string> versionsOf(const std::vector<C3CompilerProbe>& found)
{
    std::vector<std::string> versions;
    for (const C3CompilerProbe& probe : found)
        versions.push_back(probe.version);
    return versions;
}

C3ToolchainRequest requestFor(const fs::path& path, const std::string& version = "", const std::string& minimum = "")
{
    return C3ToolchainRequest{path, version, minimum};
}

TEST(C3CompilerSearch, VersionIsTheFirstDottedNumber)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {FakeC3c::banner("0.6.1"), "0.6.1"},  // not the 3 of "C3"
        {"c3c 0.5.4 (LLVM 17.0.6)", "0.5.4"},
        {"build 7, release 0.7", "0.7"},
        {"v12.10.3-rc1.", "12.10.3"},
        {"1..2 or 3.", "1"},
        {"no version here", ""},
    };
    for (const auto& [output, version] : cases)
        EXPECT_EQ(Zarn::c3VersionFromOutput(output), version) << output;
}

TEST(C3CompilerSearch, VersionRulesOfADefinition)
{
    struct Case {
        std::string wanted;
        std::string minimum;
        std::string version;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"", "", "0.6.1", true},        {"0", "", "0.6.1", true},      {"0.6", "", "0.6.1", false},
        {"0.6.1", "", "0.6.1", true},   {"1", "", "1", true},          {"1", "", "1.2.3", true},
        {"1", "", "12.0", false},       {"", "0.6", "0.6.1", true},    {"", "0.7", "0.6.1", false},
        {"", "0", "0.1", true},         {"0", "0.7", "0.6.1", false},  {"0.6.1", "0.6.1", "0.6.1", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zarn::acceptsC3Version(C3ToolchainRequest{std::nullopt, c.wanted, c.minimum}, c.version), c.accepted)
            << "wanted " << c.wanted << " minimum " << c.minimum << " version " << c.version;
}

TEST(C3CompilerSearch, ProbeTakesOnlyCompilersThatAnswer)
{
    TempDir dir;
    const fs::path good = FakeC3c::write(dir / "good/c3c");
    const auto probe = Zarn::probeC3Compiler(good);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->version, "0.6.1");
    EXPECT_EQ(probe->compilerPath, good);
    EXPECT_EQ(probe->binDir, dir / "good");

    FakeC3c::Options failing;
    failing.versionStatus = 1;
    FakeC3c::Options silent;
    silent.versionOutput = "no version here";
    FakeC3c::Options hanging;
    hanging.versionHangs = true;
    EXPECT_FALSE(Zarn::probeC3Compiler(FakeC3c::write(dir / "failing/c3c", failing)));
    EXPECT_FALSE(Zarn::probeC3Compiler(FakeC3c::write(dir / "silent/c3c", silent)));
    EXPECT_FALSE(Zarn::probeC3Compiler(dir / "good"));
    EXPECT_FALSE(Zarn::probeC3Compiler(dir / "missing/c3c"));
    captureLog(8, [&] {
        const fs::path hangs = FakeC3c::write(dir / "hanging/c3c", hanging);
        EXPECT_FALSE(Zarn::probeC3Compiler(hangs, std::chrono::milliseconds(300)));
    });
}

// A directory name is only text: nothing in it runs.
TEST(C3CompilerSearch, ProbeRunsNoShellOnThePath)
{
    Sandbox box;  // the current directory, where a command in the name would leave its file
    const fs::path odd = box.work() / "a \"b\" $(touch ran) `touch ran2`" / "c3c";
    FakeC3c::write(odd);
    const auto probe = Zarn::probeC3Compiler(odd);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->version, "0.6.1");
    EXPECT_FALSE(fs::exists(box.work() / "ran"));
    EXPECT_FALSE(fs::exists(box.work() / "ran2"));
}

TEST(C3CompilerSearch, ThePathAsTheCompilerFileIsTheOnlyCandidate)
{
    TempDir dir;
    const fs::path lower = FakeC3c::write(dir / "tc/c3c", reporting("0.6.1"));
    const fs::path upper = FakeC3c::write(dir / "tc/C3C.EXE", reporting("0.7.0"));
    const fs::path inner = FakeC3c::write(dir / "tc/bin/c3c", reporting("0.8.0"));
    for (const fs::path& file : {lower, upper}) {
        const auto found = Zarn::findC3Compilers(requestFor(file));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].compilerPath, file);
    }
    EXPECT_EQ(FakeC3c::versionCalls(inner), 0u);
}

TEST(C3CompilerSearch, EachFileIsProbedOnceAcrossCandidatesAndTheWalk)
{
    TempDir dir;
    const fs::path compiler = FakeC3c::write(dir / "tc/bin/c3c");
    fs::create_symlink(compiler, dir / "tc/c3c");
    fs::create_directories(dir / "tc/lib/deep");
    fs::create_symlink(compiler, dir / "tc/lib/deep/c3c.exe");
    const auto found = Zarn::findC3Compilers(requestFor(dir / "tc"));
    EXPECT_EQ(versionsOf(found), std::vector<std::string>{"0.6.1"});
    EXPECT_EQ(FakeC3c::versionCalls(compiler), 1u);
}

TEST(C3CompilerSearch, WalkFindsCompilersBelowThePathThatTheRequestAccepts)
{
    TempDir dir;
    FakeC3c::write(dir / "tc/c3c", reporting("0.6.1"));
    FakeC3c::write(dir / "tc/versions/0.7/c3c", reporting("0.7.0"));
    FakeC3c::Options broken;
    broken.versionStatus = 1;
    FakeC3c::write(dir / "tc/versions/broken/c3c", broken);
    FakeC3c::write(dir / "tc/versions/other/c3c-helper", reporting("0.9.0"));

    auto all = versionsOf(Zarn::findC3Compilers(requestFor(dir / "tc")));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], "0.6.1");  // the direct candidate comes first
    EXPECT_EQ(all[1], "0.7.0");
    EXPECT_EQ(versionsOf(Zarn::findC3Compilers(requestFor(dir / "tc", "0.7"))), std::vector<std::string>{});
    EXPECT_EQ(versionsOf(Zarn::findC3Compilers(requestFor(dir / "tc", "0", "0.7"))),
              std::vector<std::string>{"0.7.0"});
    EXPECT_TRUE(Zarn::findC3Compilers(requestFor(dir / "nothing")).empty());
}

TEST(C3CompilerSearch, NewestVersionWinsAndTiesKeepTheFirst)
{
    auto probe = [](const std::string& version, const std::string& file) {
        return C3CompilerProbe{version, file, "/x"};
    };
    EXPECT_EQ(Zarn::chooseNewestC3Compiler({probe("0.6.1", "a"), probe("0.7.0", "b")})->compilerPath, "b");
    EXPECT_EQ(Zarn::chooseNewestC3Compiler({probe("0.7.0", "a"), probe("0.6.1", "b")})->compilerPath, "a");
    EXPECT_EQ(Zarn::chooseNewestC3Compiler({probe("0.6.1", "a"), probe("0.6.1.0", "b")})->compilerPath, "a");
    EXPECT_EQ(Zarn::chooseNewestC3Compiler({probe("0.10", "a"), probe("0.9.9", "b")})->compilerPath, "a");
    EXPECT_FALSE(Zarn::chooseNewestC3Compiler({}));
}

}  // namespace
