#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace {

// The lines collected from a project text, as the project loader sets it up.
std::vector<std::string> collected(const std::string& text, const std::string& source)
{
    ThrowingErrorListener listener;
    listener.sourcePath = source;
    TestSupport::Parsed(text, &listener).parser.projFile();
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

// The file may hold anything: what a line quotes of it is short, and shows
// no byte that a terminal would act on; the diagnosis after it is whole.
TEST(ThrowingErrorListener, LinesQuoteTheFileShortAndPrintable)
{
    const std::string longName(300, 'n');
    const std::pair<std::string, std::string> cases[] = {
        {"name \x01\x1b[31m", "p(1,5): token recognition error at: '\\x01'"},
        {"name demo\nunits { \"a\x1b[31m\" }",
         "p(2,8): '\"a\\x1b[31m\"' extraneous input '\"a\\x1b[31m\"' expecting {'}', IDENTIFIER}"},
        {"name " + longName + " " + longName, "p(1,306): '" + longName.substr(0, 40) + "...' extraneous input '" +
                                                  longName.substr(0, 40) + "...' expecting <EOF>"},
    };
    for (const auto& [text, first] : cases) {
        const std::vector<std::string> messages = collected(text, "p");
        ASSERT_FALSE(messages.empty()) << first;
        EXPECT_EQ(messages[0], first);
    }
}
