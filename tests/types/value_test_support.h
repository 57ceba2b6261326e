// Builders and probes shared by the value tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "types/identifier_parser.h"
#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace ValueTestSupport {

inline Zarn::Identifier parsedIdentifier(const std::string& text)
{
    Zarn::Identifier identifier;
    Zarn::ParseError error;
    EXPECT_TRUE(Zarn::parseIdentifier(text, identifier, error)) << text << ": " << error.message;
    return identifier;
}

inline Zarn::ZarnValuePtr rawString(const std::string& text)
{
    return std::make_shared<Zarn::ZarnRawString>(text);
}

inline Zarn::ZarnValuePtr finalString(const std::string& text)
{
    auto value = Zarn::makeString(text);
    Zarn::markFinal(value);
    return value;
}

inline Zarn::ZarnValuePtr number(int value)
{
    return std::make_shared<Zarn::ZarnInt>(value);
}

inline std::shared_ptr<Zarn::ZarnList> listOf(std::vector<Zarn::ZarnValuePtr> members)
{
    return std::make_shared<Zarn::ZarnList>(std::move(members));
}

inline std::shared_ptr<Zarn::ZarnList> stringList(const std::vector<std::string>& texts)
{
    std::vector<Zarn::ZarnValuePtr> members;
    for (const auto& text : texts)
        members.push_back(Zarn::makeString(text));
    return listOf(std::move(members));
}

inline Zarn::ZarnValuePtr identifierValue(const std::string& text)
{
    return std::make_shared<Zarn::ZarnIdentifier>(parsedIdentifier(text));
}

// The texts of the members a walk over the value yields.
inline std::vector<std::string> walkTexts(const Zarn::ZarnValuePtr& value)
{
    std::vector<std::string> texts;
    auto it = Zarn::begin(value);
    auto stop = Zarn::end(value);
    for (; !it->equals(*stop); it->next()) {
        auto member = it->current();
        texts.push_back(member ? member->toString() : "<null>");
    }
    return texts;
}

// A context with the given variables, set in order.
inline Zarn::ContextPtr contextWith(const std::vector<std::pair<std::string, Zarn::ZarnValuePtr>>& variables)
{
    auto context = std::make_shared<Zarn::Context>();
    for (const auto& [name, value] : variables)
        context->addAssignment(Zarn::Assignment(name, value, Zarn::Assignment::Set), 0);
    return context;
}

// A string bound to the context, as a context binds the values it stores.
inline std::shared_ptr<Zarn::ZarnString> boundString(const std::string& text, Zarn::Context& context)
{
    auto value = std::make_shared<Zarn::ZarnString>(text);
    value->setResolver(&context);
    return value;
}

// Runs the code with every log level shown and returns what it printed.
inline std::string capturedOutput(const std::function<void()>& code)
{
    int saved = logThreshold.load();
    logThreshold = 0;
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

// The message of a model error thrown by the code, or "" when none is thrown.
inline std::string zarnErrorOf(const std::function<void()>& code)
{
    try {
        code();
    } catch (const Zarn::ZarnException& error) {
        return error.getMessage();
    }
    return "";
}

}  // namespace ValueTestSupport
