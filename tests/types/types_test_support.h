// Builders and probes shared by the tests of the core model.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "types/identifier_parser.h"
#include "types/zarn_context_types.h"
#include "types/zarn_context_value.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace TypesTestSupport {

using namespace Zarn;  // tests that use these helpers name the model's types directly
using Words = std::vector<std::string>;

inline Identifier ident(const std::string& text)
{
    Identifier identifier;
    ParseError error;
    EXPECT_TRUE(parseIdentifier(text, identifier, error)) << text << ": " << error.message;
    return identifier;
}

inline ZarnValuePtr str(const std::string& text) { return makeString(text); }
inline ZarnValuePtr raw(const std::string& text) { return std::make_shared<ZarnRawString>(text); }
inline ZarnValuePtr num(int value) { return std::make_shared<ZarnInt>(value); }
inline ZarnValuePtr idValue(const std::string& text) { return std::make_shared<ZarnIdentifier>(ident(text)); }

// A string that came out of resolution: never expanded again.
inline ZarnValuePtr finalStr(const std::string& text)
{
    auto value = makeString(text);
    markFinal(value);
    return value;
}

inline std::shared_ptr<ZarnList> list(std::vector<ZarnValuePtr> members)
{
    return std::make_shared<ZarnList>(std::move(members));
}

inline std::shared_ptr<ZarnList> strings(const Words& texts)
{
    std::vector<ZarnValuePtr> members;
    for (const auto& text : texts)
        members.push_back(str(text));
    return list(std::move(members));
}

inline Assignment set(const std::string& name, ZarnValuePtr value, uint32_t flags = 0)
{
    return Assignment(name, std::move(value), Assignment::Set, flags);
}
inline Assignment append(const std::string& name, ZarnValuePtr value)
{
    return Assignment(name, std::move(value), Assignment::Append);
}
inline Assignment declare(const std::string& name)
{
    return Assignment(name, nullptr, Assignment::Declare);
}

// A context holding the assignments' own value objects, bound to it.
inline ContextPtr contextWith(const std::vector<Assignment>& assignments)
{
    auto context = std::make_shared<Context>();
    for (const auto& assignment : assignments)
        context->addAssignment(assignment);
    return context;
}

// A context value ("{ ... }" block) over contextWith(assignments).
inline std::shared_ptr<ZarnContext> block(const std::vector<Assignment>& assignments)
{
    return std::make_shared<ZarnContext>(contextWith(assignments));
}

inline Condition condition(const std::string& name, Condition::OperatorType op, ZarnValuePtr rhs,
                                 std::vector<Assignment> then, std::vector<Condition> nested = {})
{
    return {idValue(name), std::move(rhs), op, std::make_shared<ContextTemplate>(std::move(then), std::move(nested))};
}

inline std::string text(const ZarnValuePtr& value) { return value ? value->toString() : "<null>"; }

// The resolved text of a variable.
inline std::string resolved(Context& context, const std::string& name)
{
    return text(context.lookup(ident(name)));
}

// The texts of the members a walk over the value yields.
inline Words walk(const ZarnValuePtr& value)
{
    Words texts;
    auto stop = Zarn::end(value);
    for (auto it = Zarn::begin(value); !it->equals(*stop); it->next())
        texts.push_back(text(it->current()));
    return texts;
}

// Runs the code with the log threshold given and returns what it printed.
inline std::string captureOutput(const std::function<void()>& code, int threshold = 0)
{
    struct Restore {
        int saved;
        ~Restore() { logThreshold = saved; }
    } restore{logThreshold.exchange(threshold)};
    testing::internal::CaptureStdout();
    try {
        code();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

// The message of the error of type E the code throws; "<no error>" when it
// throws none (any other error fails the test).
template <class E = ZarnException>
std::string errorOf(const std::function<void()>& code)
{
    try {
        code();
    } catch (const E& error) {
        if constexpr (std::is_base_of_v<ZarnException, E>)
            return error.getMessage();
        else
            return error.what();
    }
    return "<no error>";
}

}  // namespace TypesTestSupport
