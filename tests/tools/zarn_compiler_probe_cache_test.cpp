#include "tools/zarn_compiler_probe_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_support.h"
#include "tools/fake_toolchain.h"
#include "tools/zarn_compiler_search.h"

namespace fs = std::filesystem;
using namespace Zarn;
using TestSupport::TempDir;

namespace {

// A compiler that notes every question in "<name>.questions" beside it.
void addNotingCompiler(const FakeToolchain::BinDir& bin, const std::string& name, const std::string& version)
{
    bin.addScript(name, "printf '%s\\n' \"$1\" >> " + FakeToolchain::shellQuote((bin / (name + ".questions")).string()) +
                            "\ncase \"$1\" in -dumpmachine) echo x86_64-linux-gnu;; *) echo " + version + ";; esac\n");
}

size_t timesAsked(const FakeToolchain::BinDir& bin, const std::string& name, const std::string& question)
{
    const std::string text = "\n" + TestSupport::readFile(bin / (name + ".questions"));
    size_t count = 0;
    for (size_t at = text.find("\n" + question + "\n"); at != std::string::npos;
         at = text.find("\n" + question + "\n", at + 1))
        ++count;
    return count;
}

}  // namespace

TEST(CompilerProbeCacheTest, SearchesOfOneDirectoryShareOneProbe)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "tc" / "bin");
    addNotingCompiler(bin, "gcc-11", "11.4.0");
    addNotingCompiler(bin, "g++-12", "12.2.0");

    ToolchainRequest newest;
    newest.toolchainMinVersion = "12";
    const auto all = findCompilers(ToolchainRequest{}, dir / "tc");
    const auto some = findCompilers(newest, dir / "tc");
    const auto fromBin = findCompilers(ToolchainRequest{}, bin.path());
    EXPECT_EQ(all.size(), 2u);
    ASSERT_EQ(some.size(), 1u);
    EXPECT_EQ(some[0].version, "12.2.0");
    EXPECT_EQ(fromBin.size(), 2u);
    for (const char* name : {"gcc-11", "g++-12"})
        EXPECT_EQ(timesAsked(bin, name, "-dumpmachine"), 1u) << name;

    // Until the results are forgotten.
    forgetProbedBinDirectories();
    EXPECT_EQ(findCompilers(ToolchainRequest{}, dir / "tc").size(), 2u);
    EXPECT_EQ(timesAsked(bin, "gcc-11", "-dumpmachine"), 2u);
}

TEST(CompilerProbeCacheTest, CallsFromSeveralThreadsWaitForTheOneProbe)
{
    TempDir dir;
    FakeToolchain::BinDir first(dir / "one");
    FakeToolchain::BinDir second(dir / "two");
    addNotingCompiler(first, "gcc", "12.2.0");
    addNotingCompiler(second, "gcc", "13.1.0");

    std::vector<std::shared_ptr<const ProbedBinDirectory>> results(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = probeBinDirectoryOnce(i % 2 ? second.path() : first.path()); });
    for (auto& thread : threads)
        thread.join();
    for (size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i]->cCompilers.size(), 1u);
        EXPECT_EQ(results[i]->cCompilers[0].version, i % 2 ? "13.1.0" : "12.2.0");
        EXPECT_EQ(results[i], results[i % 2]);
    }
    EXPECT_EQ(timesAsked(first, "gcc", "-dumpmachine"), 1u);
    EXPECT_EQ(timesAsked(second, "gcc", "-dumpmachine"), 1u);
}

TEST(CompilerProbeCacheTest, ARootIsSearchedOncePerPathText)
{
    std::atomic<int> walks{0};
    auto collect = [&](const fs::path& root) {
        ++walks;
        return BinDirectoryList{root / "bin"};
    };
    TempDir dir;
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<const BinDirectoryList>> results(8);
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = binDirectoriesOnce(dir / "root", collect); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(walks.load(), 1);
    for (const auto& result : results)
        EXPECT_EQ(*result, BinDirectoryList{dir / "root" / "bin"});
    EXPECT_EQ(*binDirectoriesOnce(dir / "other", collect), BinDirectoryList{dir / "other" / "bin"});
    EXPECT_EQ(walks.load(), 2);
}
