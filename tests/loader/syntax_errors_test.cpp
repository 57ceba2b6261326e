#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "loader/visit_support.h"

using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace {

// The lines collected from a project text, as the project loader sets it up.
std::vector<std::string> collected(const std::string& text, const std::string& source)
{
    ThrowingErrorListener listener;
    listener.sourcePath = source;
    LoaderTest::Parsed(text, &listener).parser.projFile();
    return listener.messages;
}

}  // namespace

TEST(ThrowingErrorListener, LinesNameFilePositionAndToken)
{
    testing::internal::CaptureStderr();
    EXPECT_THAT(collected("name demo\nunits { }\nprofiles { }\n}", "/p/.zarn_project.txt"),
                ElementsAre("/p/.zarn_project.txt(4,0): '}' extraneous input '}' expecting <EOF>"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the console listener is gone
    // A lexer error has no token part; the lexer reaches the "$" before the
    // parser finds the name missing.
    auto messages = collected("name\n$ units { a } }", "rel/p.txt");
    ASSERT_EQ(messages.size(), 3u) << messages.back();
    EXPECT_EQ(messages[0], "rel/p.txt(2,0): token recognition error at: '$'");
    EXPECT_EQ(messages[1], "rel/p.txt(2,2): 'units' missing IDENTIFIER at 'units'");
    EXPECT_THAT(messages[2], StartsWith("rel/p.txt(2,12): '}' "));
    EXPECT_TRUE(collected("name demo units { app { \"a.txt\" } }", "/p/x").empty());
}

TEST(ZarnErrorCounter, CountsAndPrintsUnlessQuiet)
{
    ZarnErrorCounter quiet("assignment", true);
    ZarnErrorCounter loud("cmdline", false);
    testing::internal::CaptureStderr();
    LoaderTest::Parsed("a = ", &quiet).parser.assignment();
    LoaderTest::Parsed("a = [1, 2] b", &quiet).parser.assignment();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(quiet.errors, 1);

    testing::internal::CaptureStderr();
    LoaderTest::Parsed("= 1", &loud).parser.assignment();
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(loud.errors, 1);
    EXPECT_THAT(printed, StartsWith("cmdline: line 1:0 "));
    EXPECT_THAT(printed, ::testing::HasSubstr("'='"));
    EXPECT_EQ(printed.find('\n'), printed.size() - 1);
}
