#include "types/zarn_exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

#include "types/zarn_context_types.h"

using namespace Zarn;

// The model's errors stand apart from the standard ones.
static_assert(!std::is_base_of_v<std::exception, ZarnException>);
// Objects of these classes are deleted through base pointers.
static_assert(std::has_virtual_destructor_v<ZarnException>);
static_assert(std::has_virtual_destructor_v<ContextTemplate>);
static_assert(std::has_virtual_destructor_v<Context>);
static_assert(std::has_virtual_destructor_v<Resolvable>);

TEST(ZarnExceptions, MessageTexts)
{
    const std::string part = "Identifier part must be context.";
    const KeyChain keys{std::string("a"), int64_t{2}, std::string("b")};
    const std::pair<std::string, std::string> cases[] = {
        {NotFoundException("Variable", "X").getMessage(), "Variable 'X' not found."},
        {BadConversion("ZarnInt", "5", "ZarnString").getMessage(), "Cannot convert ZarnInt 5 to ZarnString"},
        {IndexException("X", int64_t{-1}).getMessage(), "Variable X cannot be indexed with [-1]"},
        {IndexException("X", AccessRange{1, 5, 2}).getMessage(), "Variable X cannot be indexed with [1:5:2]"},
        {IndexException("X", std::string("member")).getMessage(), "Variable X cannot be indexed with member"},
        {IndexException("X", AccessPattern{"p"}).getMessage(), "Variable X cannot be indexed with /p/"},
        {IdentifierError(keys, 2, part).getMessage(), part + " a.2. <<"},
        {IdentifierError(keys, 0, part).getMessage(), part + "  <<"},
        {IdentifierError(keys, 99, part).getMessage(), part + " a.2.b. <<"},  // clamped to the chain
        {IdentifierError({AccessRange{1, 2, 3}, AccessPattern{"x.*"}}, 2, "T").getMessage(), "T 1, 2, 3.x.*. <<"},
        {LoopFoundException("t", {"a", "b"}, {"a", "b", "t"}).getMessage(),
         "Loop detected! Causing term: 't'\n  loop goes as follows: a <- b <- "},
        {InternalError().getMessage(), "Internal: (0) "},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(message, expected);
}

TEST(ZarnExceptions, InternalErrorNamesItsSite)
{
    const std::string text = ZARN_INTERNAL_ERROR().getMessage();
    EXPECT_EQ(text.rfind("Internal: ", 0), 0u) << text;
    EXPECT_NE(text.find("zarn_exceptions_test.cpp("), std::string::npos) << text;
    EXPECT_NE(text.find(") virtual void ZarnExceptions_InternalErrorNamesItsSite_Test::TestBody()"), std::string::npos)
        << text;
}
