// State files: written whole beside the destination and moved in place,
// never through a planted link, never leaving a temporary file behind.
#include "zarn_state_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <set>

#include "test_support.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

// The names in the directory, to show that no temporary file stays.
std::set<std::string> namesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(StateFile, ReplacesTheFileAndKeepsItsPermissions)
{
    TempDir dir;
    const fs::path file = dir.write("state", "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const Zarn::StateWriteResult result = Zarn::writeStateFile(file, "new text");
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(readFile(file), "new text");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"state"});

    // A new file gets the usual permissions, not those of a private temporary file.
    const fs::path fresh = dir / "fresh";
    ASSERT_TRUE(Zarn::writeStateFile(fresh, "").ok());
    EXPECT_NE(fs::status(fresh).permissions() & fs::perms::others_read, fs::perms::none);
}

// Links planted at the names the writer tries first point at a victim: the
// writer takes another name, and neither the victim nor the links change.
TEST(StateFile, NeverWritesThroughAPlantedLink)
{
    TempDir dir;
    const fs::path victim = dir.write("victim", "precious");
    const fs::path file = dir / "state";
    for (int k = 0; k < 16; ++k)
        fs::create_symlink(victim, file.string() + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(k));
    fs::create_symlink(victim, file.string() + ".tmp");

    const Zarn::StateWriteResult result = Zarn::writeStateFile(file, "mine");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(readFile(file), "mine");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_EQ(namesIn(dir.path()).size(), 19u);  // victim, state and the 17 links
}

TEST(StateFile, EachFailureNamesItsStepAndChangesNothing)
{
    TempDir dir;
    struct Case {
        const char* what;
        std::function<fs::path()> setUp;  // the destination
        Zarn::StatePlacement placement;
        Zarn::StateWriteStep step;
    };
    const Case cases[] = {
        // The temporary name is longer than a file name may be.
        {"no temporary file", [&] { return dir / std::string(250, 'n'); }, Zarn::StatePlacement::Replace,
         Zarn::StateWriteStep::Open},
        {"directory in the way",
         [&] {
             fs::create_directories(dir / "busy" / "state");
             dir.write("busy/state/keep");
             return dir / "busy" / "state";
         },
         Zarn::StatePlacement::Replace, Zarn::StateWriteStep::Replace},
        {"empty directory in the way",
         [&] {
             fs::create_directories(dir / "empty" / "state");
             return dir / "empty" / "state";
         },
         Zarn::StatePlacement::Replace, Zarn::StateWriteStep::Replace},
        {"file kept", [&] { return dir.write("kept/state", "old"); }, Zarn::StatePlacement::KeepExisting,
         Zarn::StateWriteStep::Exists},
        {"dangling link kept",
         [&] {
             fs::create_directories(dir / "link");
             fs::create_symlink(dir / "nowhere", dir / "link" / "state");
             return dir / "link" / "state";
         },
         Zarn::StatePlacement::KeepExisting, Zarn::StateWriteStep::Exists},
    };
    for (const Case& c : cases) {
        const fs::path file = c.setUp();
        const std::set<std::string> before = namesIn(file.parent_path());
        const Zarn::StateWriteResult result = Zarn::writeStateFile(file, "text", c.placement);
        EXPECT_EQ(result.step, c.step) << c.what;
        EXPECT_EQ(namesIn(file.parent_path()), before) << c.what;
        std::error_code error;
        EXPECT_FALSE(fs::exists(fs::symlink_status(result.temporary, error))) << c.what;
    }
    EXPECT_EQ(readFile(dir / "kept" / "state"), "old");
    EXPECT_FALSE(fs::exists(dir / "nowhere"));

    // A write that fails midway, as on a full disk: the old file stays.
    const fs::path file = dir.write("full/state", "old");
    Zarn::StateWriteResult result;
    withFileSizeLimit(4, [&] { result = Zarn::writeStateFile(file, "more than four bytes"); });
    EXPECT_EQ(result.step, Zarn::StateWriteStep::Write);
    EXPECT_EQ(result.error, std::errc::file_too_large);
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(namesIn(dir / "full"), std::set<std::string>{"state"});
}

}  // namespace
