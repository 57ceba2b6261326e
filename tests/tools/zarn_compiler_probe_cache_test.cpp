#include "tools/zarn_compiler_probe_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "test_support.h"
#include "tools/fake_toolchain.h"

namespace fs = std::filesystem;
using namespace Zarn;
using TestSupport::TempDir;

namespace {

// A compiler that adds a line to "<name>.asked" beside it whenever it is
// asked for its machine.
void addNotingCompiler(const FakeToolchain::BinDir& bin, const std::string& name, const std::string& version)
{
    bin.addScript(name, "case \"$1\" in -dumpmachine) echo >> " +
                            FakeToolchain::shellQuote((bin / (name + ".asked")).string()) +
                            "; echo x86_64-linux-gnu;; *) echo " + version + ";; esac\n");
}

size_t machineQuestions(const FakeToolchain::BinDir& bin, const std::string& name)
{
    const std::string text = TestSupport::readFile(bin / (name + ".asked"));
    return std::count(text.begin(), text.end(), '\n');
}

}  // namespace

TEST(CompilerProbeCacheTest, CallsFromSeveralThreadsWaitForTheOneProbe)
{
    TempDir dir;
    FakeToolchain::BinDir first(dir / "one");
    FakeToolchain::BinDir second(dir / "two");
    addNotingCompiler(first, "gcc", "12.2.0");
    addNotingCompiler(second, "gcc", "13.1.0");

    std::vector<ProbedBinDirectory> results(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = probeBinDirectoryOnce(i % 2 ? second.path() : first.path()); });
    for (auto& thread : threads)
        thread.join();
    for (size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i].cCompilers.size(), 1u);
        EXPECT_EQ(results[i].cCompilers[0].version, i % 2 ? "13.1.0" : "12.2.0");
        EXPECT_EQ(results[i].cCompilers[0].exePath, (i % 2 ? second : first) / "gcc");
    }
    EXPECT_EQ(machineQuestions(first, "gcc"), 1u);
    EXPECT_EQ(machineQuestions(second, "gcc"), 1u);
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

// One probe for the directory however its path is spelled; each caller gets
// the compiler's path under its own spelling.
TEST(CompilerProbeCacheTest, SpellingsOfOneDirectoryShareItsProbe)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "tc" / "bin");
    addNotingCompiler(bin, "gcc", "12.2.0");
    fs::create_directory_symlink(dir / "tc", dir / "link");
    const std::vector<fs::path> spellings = {dir / "tc" / "bin", dir / "tc" / "bin" / ".",
                                             dir / "tc" / ".." / "tc" / "bin", dir / "tc" / "." / "bin",
                                             dir / "link" / "bin"};
    for (const fs::path& spelling : spellings) {
        const ProbedBinDirectory probed = probeBinDirectoryOnce(spelling);
        ASSERT_EQ(probed.cCompilers.size(), 1u) << spelling;
        EXPECT_EQ(probed.cCompilers[0].exePath, spelling / "gcc");
        EXPECT_EQ(probed.cCompilers[0].version, "12.2.0");
    }
    EXPECT_EQ(machineQuestions(bin, "gcc"), 1u);
}
