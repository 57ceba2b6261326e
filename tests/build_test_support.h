// Helpers for the tests of the job runner and the build cache: the shared
// helpers and a scripted builder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "zarn_tool.h"

namespace BuildTestSupport {

using namespace TestSupport;

inline std::string captureOutput(int threshold, const std::function<void()>& action)
{
    return captureLog(threshold, action);
}

// A builder whose plan the test sets, which records the calls it receives.
// A job's recipes are the texts of its "cmd" list ("SKIP:" ones are not run);
// "id" names the job.
class ScriptedBuilder : public Zarn::Builder {
public:
    void prepare(const Zarn::Context&, uint64_t jobCount) override
    {
        calls.push_back("prepare " + std::to_string(jobCount));
    }
    void initialize() override { calls.push_back("initialize"); }
    Zarn::Context createOutputContext(const Zarn::Context& job, int status) override
    {
        calls.push_back("output");
        Zarn::Context outputs;
        outputs.addAssignment(set("result", integer(status)));
        outputs.addAssignment(set("job", str(textOf(job, "id"))));
        return outputs;
    }
    Zarn::BuildPlan createBuildPlan(const Zarn::TargetContext&) override
    {
        ++plans;
        return plan;
    }
    std::vector<Zarn::Recipe> createRecipes(const Zarn::Context& job) override
    {
        calls.push_back("recipes " + textOf(job, "id"));
        std::vector<Zarn::Recipe> recipes;
        Zarn::ZarnValuePtr commands = Zarn::hasVariable(job, "cmd") ? Zarn::getVariable(job, "cmd") : nullptr;
        if (const auto* members = dynamic_cast<const Zarn::ZarnList*>(commands.get())) {
            for (const auto& member : members->getMembers())
                recipes.push_back(Zarn::Recipe{member->toString(), {}, 0, {}});
        } else if (commands) {
            recipes.push_back(Zarn::Recipe{commands->toString(), {}, 0, {}});
        }
        for (Zarn::Recipe& recipe : recipes)
            if (recipe.command.rfind("SKIP:", 0) == 0)
                recipe.kind = 1;
        return recipes;
    }

    Zarn::BuildPlan plan;
    int plans = 0;
    std::vector<std::string> calls;
};

// A job context whose recipes are the given commands.
inline std::shared_ptr<Zarn::Context> jobContext(const std::string& id, const std::vector<std::string>& commands)
{
    auto context = std::make_shared<Zarn::Context>();
    std::vector<Zarn::ZarnValuePtr> members;
    for (const std::string& command : commands)
        members.push_back(str(command));
    context->addAssignment(set("id", str(id)));
    context->addAssignment(set("cmd", list(members)));
    return context;
}

}  // namespace BuildTestSupport
