#include "types/zarn_exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace Zarn;

TEST(ZarnExceptions, MessageTexts)
{
    EXPECT_EQ(ZarnException("plain").getMessage(), "plain");
    EXPECT_EQ(BadOperation("Cannot add").getMessage(), "Cannot add");
    EXPECT_EQ(NotFoundException("Variable", "X").getMessage(), "Variable 'X' not found.");
    EXPECT_EQ(BadConversion("ZarnInt", "5", "ZarnString").getMessage(), "Cannot convert ZarnInt 5 to ZarnString");
}

TEST(ZarnExceptions, IndexExceptionKeyForms)
{
    struct Case {
        AccessKey key;
        const char* text;
    };
    const Case cases[] = {
        {int64_t{3}, "[3]"},
        {int64_t{-1}, "[-1]"},
        {AccessRange{1, 5, 2}, "[1:5:2]"},
        {std::string("member"), "member"},
        {AccessPattern{"p"}, "/p/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IndexException("X", c.key).getMessage(), std::string("Variable X cannot be indexed with ") + c.text);
}

TEST(ZarnExceptions, IdentifierErrorListsKeysBeforeTheFailure)
{
    const std::string text = "Identifier part must be context.";
    KeyChain keys{std::string("a"), int64_t{2}, std::string("b")};
    EXPECT_EQ(IdentifierError(keys, 2, text).getMessage(), text + " a.2. <<");
    EXPECT_EQ(IdentifierError(keys, 0, text).getMessage(), text + "  <<");
    // Clamped to the chain.
    EXPECT_EQ(IdentifierError(keys, 99, text).getMessage(), text + " a.2.b. <<");

    KeyChain others{AccessRange{1, 2, 3}, AccessPattern{"x.*"}};
    EXPECT_EQ(IdentifierError(others, 2, "T").getMessage(), "T 1, 2, 3.x.*. <<");
}

TEST(ZarnExceptions, LoopTextEndsInSeparator)
{
    LoopFoundException loop("t", {"a", "b"}, {"a", "b", "t"});
    EXPECT_EQ(loop.getMessage(), "Loop detected! Causing term: 't'\n  loop goes as follows: a <- b <- ");
    EXPECT_EQ(loop.visited.count("t"), 1u);
}

TEST(ZarnExceptions, InternalErrorNamesItsThrowSite)
{
    try {
        throw ZARN_INTERNAL_ERROR();
    } catch (const ZarnException& e) {
        std::string text = e.getMessage();
        EXPECT_EQ(text.rfind("Internal: ", 0), 0u) << text;
        EXPECT_NE(text.find("zarn_exceptions_test.cpp("), std::string::npos) << text;
        EXPECT_NE(text.find(") virtual void ZarnExceptions_InternalErrorNamesItsThrowSite_Test::TestBody()"),
                  std::string::npos)
            << text;
    }
    EXPECT_EQ(InternalError().getMessage(), "Internal: (0) ");
}

TEST(ZarnExceptions, RootStandsApartFromStandardExceptions)
{
    bool caughtAsStd = false;
    bool caughtAsZarn = false;
    try {
        try {
            throw NotFoundException("Unit", "u");
        } catch (const std::exception&) {
            caughtAsStd = true;
        }
    } catch (const ZarnException& e) {
        caughtAsZarn = true;
        EXPECT_EQ(e.getMessage(), "Unit 'u' not found.");
    }
    EXPECT_FALSE(caughtAsStd);
    EXPECT_TRUE(caughtAsZarn);
}

TEST(ZarnExceptions, DeletedThroughRootPointerWithoutLeak)
{
    // Runs clean under the address sanitizer only with a virtual destructor.
    ZarnException* e = new LoopFoundException("t", {"a"}, {"a"});
    EXPECT_NE(e->getMessage().find("a <- "), std::string::npos);
    delete e;
}
