// Small builders for context tests: values, identifiers and captured output.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "types/identifier_parser.h"
#include "types/zarn_context_types.h"
#include "types/zarn_log.h"
#include "types/zarn_context_value.h"
#include "types/zarn_value_types.h"

namespace ContextTestSupport {

inline Zarn::Identifier ident(const std::string& text)
{
    Zarn::Identifier identifier;
    Zarn::ParseError error;
    EXPECT_TRUE(Zarn::parseIdentifier(text, identifier, error)) << text << ": " << error.message;
    return identifier;
}

inline Zarn::ZarnValuePtr str(const std::string& text)
{
    return Zarn::makeString(text);
}

inline Zarn::ZarnValuePtr raw(const std::string& text)
{
    return std::make_shared<Zarn::ZarnRawString>(text);
}

inline Zarn::ZarnValuePtr integer(int value)
{
    return std::make_shared<Zarn::ZarnInt>(value);
}

inline Zarn::ZarnValuePtr list(std::vector<Zarn::ZarnValuePtr> members)
{
    return std::make_shared<Zarn::ZarnList>(std::move(members));
}

inline Zarn::ZarnValuePtr idValue(const std::string& text)
{
    return std::make_shared<Zarn::ZarnIdentifier>(ident(text));
}

inline Zarn::ZarnValuePtr contextValue(const std::vector<Zarn::Assignment>& assignments)
{
    return std::make_shared<Zarn::ZarnContext>(Zarn::ContextTemplate(assignments).createContext());
}

inline Zarn::Assignment set(const std::string& name, Zarn::ZarnValuePtr value)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Set);
}

inline Zarn::Assignment append(const std::string& name, Zarn::ZarnValuePtr value)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Append);
}

inline Zarn::Condition condition(const std::string& name, Zarn::Condition::OperatorType op,
                                  Zarn::ZarnValuePtr rhs, std::vector<Zarn::Assignment> then,
                                  std::vector<Zarn::Condition> nested = {})
{
    Zarn::Condition result;
    result.lhs = idValue(name);
    result.rhs = std::move(rhs);
    result.op = op;
    result.context = std::make_shared<Zarn::ContextTemplate>(std::move(then), std::move(nested));
    return result;
}

inline std::string text(const Zarn::ZarnValuePtr& value)
{
    return value ? value->toString() : "<null>";
}

// The resolved text of a variable.
inline std::string resolved(Zarn::Context& context, const std::string& name)
{
    return text(context.lookup(ident(name)));
}

// Runs the code with the log threshold at 0 and returns what it printed.
inline std::string captureOutput(const std::function<void()>& code, int threshold = 0)
{
    int saved = logThreshold.load();
    logThreshold = threshold;
    testing::internal::CaptureStdout();
    try {
        code();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        logThreshold = saved;
        throw;
    }
    logThreshold = saved;
    return testing::internal::GetCapturedStdout();
}

}  // namespace ContextTestSupport
