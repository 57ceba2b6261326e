#include "loader/syntax_errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A project-file parse with one listener on both lexer and parser, as the
// project and registry loaders set it up.
struct CollectingParse {
    explicit CollectingParse(const std::string& text, const std::filesystem::path& source)
        : input(text)
        , lexer(&input)
        , tokens(&lexer)
        , parser(&tokens)
    {
        listener.sourcePath = source;
        replaceErrorListeners(lexer, listener);
        replaceErrorListeners(parser, listener);
        parser.projFile();
    }
    ThrowingErrorListener listener;
    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;
};

TEST(ThrowingErrorListener, ParserErrorLineNamesFilePositionAndToken)
{
    testing::internal::CaptureStderr();
    CollectingParse parse("name demo\nunits { }\nprofiles { }\n}", "/p/.zarn_project.txt");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the console listener is gone
    ASSERT_EQ(parse.listener.messages.size(), 1u);
    EXPECT_EQ(parse.listener.messages[0], "/p/.zarn_project.txt(4,0): '}' extraneous input '}' expecting <EOF>");
}

TEST(ThrowingErrorListener, LexerErrorLineHasNoTokenPart)
{
    CollectingParse parse("name demo\n  $", "rel/x.txt");
    EXPECT_THAT(parse.listener.messages, ElementsAre("rel/x.txt(2,2): token recognition error at: '$'"));
}

TEST(ThrowingErrorListener, KeepsEveryErrorInReportOrder)
{
    CollectingParse parse("name\n$ units { a } }", "/q/p.txt");
    // The lexer reaches the "$" before the parser finds the name missing.
    ASSERT_EQ(parse.listener.messages.size(), 3u) << parse.listener.messages.back();
    EXPECT_EQ(parse.listener.messages[0], "/q/p.txt(2,0): token recognition error at: '$'");
    EXPECT_EQ(parse.listener.messages[1], "/q/p.txt(2,2): 'units' missing IDENTIFIER at 'units'");
    EXPECT_THAT(parse.listener.messages[2], StartsWith("/q/p.txt(2,12): '}' "));
}

TEST(ThrowingErrorListener, CleanTextCollectsNothing)
{
    CollectingParse parse("name demo units { app { \"a.txt\" } }", "/p/.zarn_project.txt");
    EXPECT_TRUE(parse.listener.messages.empty());
    EXPECT_EQ(parse.parser.getNumberOfSyntaxErrors(), 0u);
}

// The counter sits on the parser only; the lexer keeps its own listeners.
struct CountingParse {
    CountingParse(const std::string& text, ZarnErrorCounter& counter)
        : input(text)
        , lexer(&input)
        , tokens(&lexer)
        , parser(&tokens)
    {
        lexer.removeErrorListeners();
        replaceErrorListeners(parser, counter);
        parser.assignment();
    }
    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;
};

TEST(ZarnErrorCounter, QuietCountsWithoutPrinting)
{
    ZarnErrorCounter counter("assignment", true);
    testing::internal::CaptureStderr();
    CountingParse parse("a = ", counter);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(counter.errors, 1);
    EXPECT_EQ(counter.errors, static_cast<int>(parse.parser.getNumberOfSyntaxErrors()));
}

TEST(ZarnErrorCounter, LoudPrintsNameLineAndColumn)
{
    ZarnErrorCounter counter("cmdline", false);
    testing::internal::CaptureStderr();
    CountingParse parse("= 1", counter);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(counter.errors, 1);
    EXPECT_THAT(printed, StartsWith("cmdline: line 1:0 "));
    EXPECT_THAT(printed, HasSubstr("'='"));
    EXPECT_EQ(printed.back(), '\n');
    EXPECT_EQ(printed.find('\n'), printed.size() - 1);
}

TEST(ZarnErrorCounter, CleanAssignmentCountsNothing)
{
    ZarnErrorCounter counter("assignment", true);
    CountingParse parse("a = [1, 2] b", counter);
    EXPECT_EQ(counter.errors, 0);
}

}  // namespace
