#include "zarn_file_lock.h"

#include <gtest/gtest.h>

#include <thread>

#include "test_support.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

// Read-modify-writes of one counter file under the lock lose no update,
// with a lock file and with the directory as the lock. The lock is per open
// file, so threads of one process contend as processes do.
TEST(FileLock, SerialisesReadModifyWrites)
{
    for (const auto kind : {Zarn::FileLock::LockFile, Zarn::FileLock::Directory}) {
        TempDir dir;
        const fs::path counter = dir.write("counter", "0");
        const fs::path lockPath = kind == Zarn::FileLock::LockFile ? Zarn::lockFileFor(counter) : dir.path();
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&] {
                for (int i = 0; i < 50; ++i) {
                    Zarn::FileLock lock(lockPath, kind);
                    const int value = std::stoi(readFile(counter));
                    std::this_thread::yield();
                    std::ofstream(counter, std::ios::trunc) << value + 1;
                }
            });
        for (auto& worker : workers)
            worker.join();
        EXPECT_EQ(readFile(counter), "200");
        EXPECT_EQ(fs::is_regular_file(dir / "counter.lock"), kind == Zarn::FileLock::LockFile);
    }
}

TEST(FileLock, ALockFileThatCannotBeUsedIsAnErrorNamingIt)
{
    TempDir dir;
    fs::create_directory(dir / "dir.lock");
    EXPECT_EQ(errorOf([&] { Zarn::FileLock lock(dir / "dir.lock"); }).rfind("std: Unable to open lock file '" +
                                                                            (dir / "dir.lock").string() + "'", 0),
              0u);
    // A planted link is not followed: the file it names is not created.
    fs::create_symlink(dir / "elsewhere", dir / "link.lock");
    EXPECT_NE(errorOf([&] { Zarn::FileLock lock(dir / "link.lock"); }), "");
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

}  // namespace
