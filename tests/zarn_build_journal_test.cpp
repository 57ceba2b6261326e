#include "zarn_build_journal.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "zarn_file_lock.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

using Keys = std::optional<std::vector<std::string>>;

// What each run reads, and what its save leaves for the next: its own
// entries and those it read go, entries other runs added meanwhile stay.
TEST(BuildJournal, ASaveSettlesOnlyWhatItsRunKnows)
{
    TempDir dir;
    const fs::path cache = dir / ".zarn_cache";
    Zarn::BuildJournal first(cache);
    Zarn::BuildJournal second(cache);
    EXPECT_EQ(first.readKeys(), Keys(std::vector<std::string>{}));
    EXPECT_EQ(first.file(), dir / ".zarn_cache.journal");

    first.recordStart("p/u::a");
    first.recordStart("p/u::b@1f");
    EXPECT_EQ(readFile(first.file()), "p/u::a\np/u::b@1f\n");

    EXPECT_EQ(second.readKeys(), Keys({"p/u::a", "p/u::b@1f"}));  // the first run died here, say
    second.recordStart("p/u::c");
    first.recordStart("p/u::a");  // ...or it is still building, after the second one read
    second.settle();
    EXPECT_EQ(readFile(first.file()), "p/u::a\n");

    Zarn::BuildJournal third(cache);
    EXPECT_EQ(third.readKeys(), Keys({"p/u::a"}));
    third.settle();
    EXPECT_FALSE(fs::exists(first.file()));
}

TEST(BuildJournal, AJournalThatCannotBeTrustedIsNoList)
{
    TempDir dir;
    const fs::path cache = dir / ".zarn_cache";
    Zarn::BuildJournal journal(cache);
    // An entry cut short: nothing is known for sure, and the save that
    // follows clears it all.
    dir.write(".zarn_cache.journal", "p/u::a\np/u::");
    EXPECT_EQ(journal.readKeys(), std::nullopt);
    journal.settle();
    EXPECT_FALSE(fs::exists(journal.file()));

    fs::create_directory(journal.file());
    EXPECT_EQ(journal.readKeys(), std::nullopt);
    // Recording fails too, with one warning for the run.
    const std::string log = captureLog(6, [&] {
        journal.recordStart("p/u::a");
        journal.recordStart("p/u::b");
    });
    EXPECT_EQ(log.rfind("Unable to record the build of 'p/u::a' in '" + journal.file().string() + "': ", 0), 0u)
        << log;
    EXPECT_EQ(log.find("p/u::b"), std::string::npos) << log;
}

}  // namespace
