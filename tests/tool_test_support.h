// Small builders for the tool tests: values, target contexts, captured log.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "types/zarn_context_types.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace ToolTestSupport {

inline Zarn::ZarnValuePtr str(const std::string& text) { return Zarn::makeString(text); }
inline Zarn::ZarnValuePtr raw(const std::string& text) { return std::make_shared<Zarn::ZarnRawString>(text); }
inline Zarn::ZarnValuePtr integer(int value) { return std::make_shared<Zarn::ZarnInt>(value); }
inline Zarn::ZarnValuePtr list(std::vector<Zarn::ZarnValuePtr> members)
{
    return std::make_shared<Zarn::ZarnList>(std::move(members));
}

inline Zarn::Assignment set(const std::string& name, Zarn::ZarnValuePtr value, uint32_t flags = 0)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Set, flags);
}

// A target "demo::name" with the given variables.
inline std::shared_ptr<Zarn::TargetContext> targetWith(const std::vector<Zarn::Assignment>& variables,
                                                        const std::string& name = "gen")
{
    auto target = std::make_shared<Zarn::TargetContext>(Zarn::QualifiedTargetName("", "demo", name), "");
    for (const Zarn::Assignment& assignment : variables)
        target->addAssignment(assignment, 1);
    return target;
}

// What the code prints with the log threshold at the given level.
inline std::string captureLog(int threshold, const std::function<void()>& action)
{
    int saved = logThreshold.load();
    logThreshold = threshold;
    testing::internal::CaptureStdout();
    try {
        action();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        logThreshold = saved;
        throw;
    }
    std::string output = testing::internal::GetCapturedStdout();
    logThreshold = saved;
    return output;
}

}  // namespace ToolTestSupport
