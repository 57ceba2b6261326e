// Helpers for the tests of the job runner and the build cache: values,
// temporary directories, captured output and a scripted builder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "types/zarn_context_types.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_tool.h"

namespace BuildTestSupport {

inline Zarn::ZarnValuePtr str(const std::string& text) { return Zarn::makeString(text); }
inline Zarn::ZarnValuePtr integer(int value) { return std::make_shared<Zarn::ZarnInt>(value); }
inline Zarn::ZarnValuePtr path(const std::filesystem::path& file) { return Zarn::makePathString(file.string(), {}); }
inline Zarn::ZarnValuePtr list(std::vector<Zarn::ZarnValuePtr> members)
{
    return std::make_shared<Zarn::ZarnList>(std::move(members));
}
inline Zarn::ZarnValuePtr block(const std::vector<Zarn::Assignment>& assignments)
{
    auto context = std::make_shared<Zarn::Context>();
    for (const Zarn::Assignment& assignment : assignments)
        context->addAssignment(assignment, 0);
    return std::make_shared<Zarn::ZarnContext>(context);
}

inline Zarn::Assignment set(const std::string& name, Zarn::ZarnValuePtr value, uint32_t flags = 0)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Set, flags);
}
inline Zarn::Assignment output(const std::string& name, Zarn::ZarnValuePtr value)
{
    return set(name, std::move(value), Zarn::Assignment::OutputFlag);
}

// The text of a variable's value; "" when absent or value-less.
inline std::string textOf(const Zarn::Context& context, const std::string& name)
{
    return Zarn::getString(context, name);
}

// A directory removed with everything in it when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zarn-build-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir = pattern;
    }
    ~TempDir()
    {
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir; }
    std::filesystem::path operator/(const std::string& name) const { return dir / name; }

    // Writes the file, creating it.
    std::filesystem::path write(const std::string& name, const std::string& content = "x") const
    {
        std::ofstream(dir / name, std::ios::binary) << content;
        return dir / name;
    }

private:
    std::filesystem::path dir;
};

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything written to standard output (the log and child processes) while
// the action runs, with the log threshold at the given level.
inline std::string captureOutput(int threshold, const std::function<void()>& action)
{
    const int saved = logThreshold.load();
    logThreshold = threshold;
    testing::internal::CaptureStdout();
    try {
        action();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        logThreshold = saved;
        throw;
    }
    std::string captured = testing::internal::GetCapturedStdout();
    logThreshold = saved;
    return captured;
}

// A builder whose plan and recipes the test scripts, and which records the
// calls it receives.
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
    // The commands of a job are the texts of its "cmd" list; "id" names it.
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
