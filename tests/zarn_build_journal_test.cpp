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

// A line that is no key (a byte that is not printable ASCII, or more than
// 64 KiB) makes the journal unreadable; it is read no further, and the save
// that follows drops what was read and every such line, also when its run
// recorded nothing.
TEST(BuildJournal, LinesThatAreNoKeyAreDamageThatTheNextSaveClears)
{
    struct Case {
        std::string text;
        Keys keys;
        std::optional<std::string> left;  // the journal after the save; nullopt: removed
    };
    const std::string longest(64 * 1024, 'k');
    const Case cases[] = {
        {"p/u::a\n" + longest + "\n", Keys({"p/u::a", longest}), std::nullopt},
        {"p/u::a\n" + longest + "k\np/u::b\n", std::nullopt, "p/u::b\n"},
        {"p/u::a\n\x01\x1b[31m\np/u::b\n", std::nullopt, "p/u::b\n"},
        {"p/u::a\nwith \xc3\xa9\n", std::nullopt, std::nullopt},
        {std::string(1000000, '\0'), std::nullopt, std::nullopt},
        {"\x7f", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(".zarn_cache.journal", c.text);
        Zarn::BuildJournal journal(dir / ".zarn_cache");
        EXPECT_EQ(journal.readKeys(), c.keys) << c.text.substr(0, 20);
        journal.settle();
        EXPECT_EQ(fs::exists(journal.file()), c.left.has_value()) << c.text.substr(0, 20);
        if (c.left && fs::exists(journal.file())) {
            EXPECT_EQ(readFile(journal.file()), *c.left);
        }
    }
}

}  // namespace
