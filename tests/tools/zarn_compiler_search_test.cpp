#include "tools/zarn_compiler_search.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/fake_toolchain.h"
#include "types/zarn_string.h"
#include "zarn_tool_tables.h"

namespace fs = std::filesystem;
using namespace Zarn;
using TestSupport::TempDir;

namespace {

// "binDir machine version suffix" of each record relative to the root, in order.
std::string describe(const std::vector<CompilerRecord>& records, const fs::path& root)
{
    std::string text;
    for (const auto& record : records)
        text += (text.empty() ? "" : "; ") + record.binDir.lexically_relative(root).string() + " " + record.prefix +
                " " + record.version + (record.versionSuffix.empty() ? "" : " " + record.versionSuffix);
    return text;
}

CompilerProbe probe(const std::string& machine, const std::string& version, const std::string& exe = "/t/bin/gcc")
{
    return CompilerProbe{version, machine, exe};
}

}  // namespace

TEST(ToolchainRequestTest, ReadsTheWantsAsTexts)
{
    const KeySet wants = makeKeySet({
        makeKeyEntry("Toolchain_Path", Zarn::makeString("/opt/x/bin")),
        makeKeyEntry("ARCH", Zarn::makeString("arm")),
        makeKeyEntry("toolchain_version", Zarn::makeString("0")),
        makeKeyEntry("toolchain_min_version", Zarn::makeString("10")),
        makeKeyEntry("abi"),
    });
    const ToolchainRequest request = makeToolchainRequest(wants);
    ASSERT_TRUE(request.toolchainPath.has_value());
    EXPECT_EQ(*request.toolchainPath, "/opt/x/bin");
    EXPECT_EQ(request.arch, "arm");
    EXPECT_EQ(request.toolchainVersion, "0");
    EXPECT_EQ(request.toolchainMinVersion, "10");
    EXPECT_EQ(request.abi, "");
    EXPECT_EQ(request.prefix, "");
    EXPECT_FALSE(makeToolchainRequest(makeKeySet({makeKeyEntry("toolchain_path", Zarn::makeString(""))}))
                     .toolchainPath.has_value());
}

TEST(MatchCompilersTest, SplitsTheMachineAndFiltersByRequest)
{
    std::vector<CompilerRecord> records;
    matchCompilers(ToolchainRequest{}, "/t", {probe("x86_64-pc-linux-gnu", "12.2.0", "/t/bin/gcc-12"), probe("avr", ""),
                                              probe("a--b", "1")},
                   records);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].arch + "|" + records[0].os + "|" + records[0].abi, "x86_64|pc|linux");
    EXPECT_EQ(records[0].binDir, "/t/bin");
    EXPECT_EQ(records[0].toolchainDir, "/t");
    EXPECT_EQ(records[0].versionSuffix, "-12");
    EXPECT_EQ(records[1].arch + "|" + records[1].os + "|" + records[1].abi, "avr||");
    EXPECT_EQ(records[2].arch + "|" + records[2].os + "|" + records[2].abi, "a||b");

    struct Case {
        ToolchainRequest request;
        std::string machine;
        std::string version;
        bool fits;
    };
    auto with = [](auto setter) {
        ToolchainRequest request;
        setter(request);
        return request;
    };
    const std::vector<Case> cases = {
        {with([](auto& r) { r.arch = "ARM"; }), "arm-none-eabi", "9.4.0", true},
        {with([](auto& r) { r.os = "none"; }), "arm-none-eabi", "9.4.0", true},
        {with([](auto& r) { r.abi = "gnu"; }), "arm-none-eabi", "9.4.0", false},
        {with([](auto& r) { r.prefix = "arm-none-eabi"; }), "arm-none-eabi", "9.4.0", true},
        {with([](auto& r) { r.prefix = "arm"; }), "arm-none-eabi", "9.4.0", false},
        {with([](auto& r) { r.toolchainVersion = "0"; }), "m", "", true},
        {with([](auto& r) { r.toolchainVersion = "12"; }), "m", "12.2.0", false},
        {with([](auto& r) { r.toolchainVersion = "12.2.0"; }), "m", "12.2.0", true},
        {with([](auto& r) { r.toolchainMinVersion = "10"; }), "m", "9.4.0", false},
        {with([](auto& r) { r.toolchainMinVersion = "10"; }), "m", "", false},
        {with([](auto& r) { r.toolchainMinVersion = "10"; }), "m", "10.1", true},
        {with([](auto& r) { r.toolchainMinVersion = "0"; }), "m", "", true},
    };
    for (const auto& c : cases) {
        std::vector<CompilerRecord> out;
        matchCompilers(c.request, "/t", {probe(c.machine, c.version)}, out);
        EXPECT_EQ(out.size(), c.fits ? 1u : 0u) << c.machine << " " << c.version;
    }
}

TEST(FindCompilersTest, SearchesTheFixedCandidatesThenTheTree)
{
    TempDir dir;
    const fs::path root = dir / "opt" / "rh";
    // Each directory's compiler is told apart by its version.
    FakeToolchain::BinDir(root / "toolset-12" / "root" / "usr" / "bin").addGcc("gcc", "x86_64-linux-gnu", "12.1.0");
    FakeToolchain::BinDir(root / "usr" / "bin").addGcc("gcc", "x86_64-linux-gnu", "2.0");
    FakeToolchain::BinDir(root / "bin").addGcc("gcc", "x86_64-linux-gnu", "1.0");
    FakeToolchain::BinDir(root / "bin" / "nested" / "bin").addGcc("gcc", "x86_64-linux-gnu", "3.0");
    // A second path to a bin directory already searched.
    fs::create_directories(root / "alias");
    fs::create_directory_symlink(root / "bin", root / "alias" / "bin");

    const auto records = findCompilers(ToolchainRequest{}, root);
    ASSERT_EQ(records.size(), 4u) << describe(records, root);
    EXPECT_EQ(records[0].version, "1.0");
    EXPECT_EQ(records[1].version, "2.0");
    EXPECT_EQ(records[0].toolchainDir, root);
    EXPECT_EQ(records[1].toolchainDir, root / "usr");
    std::set<std::string> walked{records[2].version, records[3].version};
    EXPECT_EQ(walked, (std::set<std::string>{"12.1.0", "3.0"}));

    // A root named bin is its own first candidate; the walk still finds the
    // nested one. A trailing separator changes nothing.
    for (const fs::path& binRoot : {root / "bin", fs::path((root / "bin").string() + "/")}) {
        EXPECT_EQ(describe(findCompilers(ToolchainRequest{}, binRoot), root),
                  "bin x86_64-linux-gnu 1.0; bin/nested/bin x86_64-linux-gnu 3.0")
            << binRoot;
    }
    EXPECT_TRUE(findCompilers(ToolchainRequest{}, dir / "missing").empty());
    EXPECT_TRUE(findCompilers(ToolchainRequest{}, root / "bin" / "gcc").empty());
}

TEST(FindCompilersTest, KeepsOneRecordPerDirectoryMachineAndVersion)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    bin.addGcc("gcc-11", "x86_64-linux-gnu", "11.4.0");
    bin.addGcc("gcc-12", "x86_64-linux-gnu", "12.2.0");
    bin.addGxx("g++-12", "x86_64-linux-gnu", "12.2.0");
    bin.addGxx("arm-none-eabi-g++", "arm-none-eabi", "9.4.0");
    bin.addLink("gnatgcc", "gcc-12");

    const auto records = findCompilers(ToolchainRequest{}, dir.path());
    std::set<std::string> found;
    for (const auto& record : records)
        found.insert(describe({record}, dir.path()));
    EXPECT_EQ(found, (std::set<std::string>{"bin x86_64-linux-gnu 11.4.0 -11", "bin x86_64-linux-gnu 12.2.0 -12",
                                            "bin arm-none-eabi 9.4.0"}));
    ASSERT_EQ(records.size(), 3u);
    // C compilers come first, so the C++-only one is last.
    EXPECT_EQ(records[2].prefix, "arm-none-eabi");

    ToolchainRequest arm;
    arm.arch = "arm";
    EXPECT_EQ(describe(findCompilers(arm, dir.path()), dir.path()), "bin arm-none-eabi 9.4.0");
}
