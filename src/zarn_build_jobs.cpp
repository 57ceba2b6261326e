#include "zarn_build_jobs.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_command_runner.h"
#include "zarn_interrupts.h"
#include "zarn_tool.h"

namespace Zarn {

uint64_t computeJobParallelism(uint64_t jobs, uint64_t limit, uint64_t count)
{
    if (limit <= 1 || count <= 1 || jobs <= 1)
        return 1;
    const uint64_t groups = std::min({jobs, limit, count / 2});
    return groups == 0 ? 1 : groups;
}

std::vector<std::shared_ptr<TargetContext>> splitTargetContexts(const TargetContext& target,
                                                                const std::vector<RecipeIO*>& items,
                                                                const std::vector<Assignment>& environment,
                                                                uint64_t groups)
{
    std::vector<std::shared_ptr<TargetContext>> result;
    if (items.empty() || groups == 0)
        return result;
    const uint64_t n = items.size();
    const uint64_t g = std::min<uint64_t>(n, groups);
    result.reserve(g);
    std::size_t next = 0;
    for (uint64_t k = 0; k < g; ++k) {
        const uint64_t size = n / g + (k < n % g ? 1 : 0);
        auto group = std::make_shared<TargetContext>(target.name, target.parameterText);
        std::vector<Assignment> inputs;
        for (uint64_t i = 0; i < size; ++i, ++next) {
            for (const RecipeInput& input : items[next]->inputs) {
                const bool useIntermediate = input.upToDate && input.intermediate.value;
                inputs.push_back(useIntermediate ? input.intermediate : input.input);
            }
        }
        group->appendToLists(inputs);
        group->appendToLists(environment);
        result.push_back(std::move(group));
    }
    return result;
}

std::vector<std::shared_ptr<Context>> toJobContextList(
    const std::vector<std::shared_ptr<TargetContext>>& contexts)
{
    return std::vector<std::shared_ptr<Context>>(contexts.begin(), contexts.end());
}

void runBuildJobs(Builder& builder, const std::vector<std::shared_ptr<Context>>& contexts,
                  const Util::CiString& name, Context& outputs)
{
    std::vector<BuildJob> jobs;
    for (const std::shared_ptr<Context>& context : contexts) {
        if (!context)
            continue;
        logMessage(LogLevel::Info, "Starting build job\n");
        jobs.push_back(BuildJob{context, {}, 0});
    }
    if (jobs.empty())
        return;

    builder.prepare(*jobs.front().context, jobs.size());
    for (BuildJob& job : jobs)
        job.recipes = builder.createRecipes(*job.context);

    std::vector<std::future<CommandResult>> tasks;
    tasks.reserve(jobs.size());
    for (const BuildJob& job : jobs) {
        auto run = [recipes = job.recipes]() { return runJobRecipes(recipes); };
        try {
            tasks.push_back(std::async(std::launch::async, run));
        } catch (const std::system_error&) {
            // No thread to be had (a process or memory limit): the job runs
            // on this thread when its result is collected.
            tasks.push_back(std::async(std::launch::deferred, run));
        }
    }

    // A task's exception leaves here; the later tasks' futures still wait
    // for their jobs when they are destroyed.
    bool failed = false;
    std::vector<std::string> startFailures;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        CommandResult result = tasks[i].get();
        jobs[i].result = result.status;
        failed = failed || result.status != 0;
        if (!result.startFailure.empty())
            startFailures.push_back(std::move(result.startFailure));
    }
    // Jobs cut short by a stop are no failure of the target; the stop ends the run.
    awaitInterruptEnd();
    if (failed) {
        for (const std::string& reason : startFailures)
            logMessage(LogLevel::Error, "Unable to start a recipe of {}: {}.\n", name.str(), reason);
        logMessage(LogLevel::Error, "Build of {} failed. Exiting..\n", name.str());
        throw ZarnException("Build failed.");
    }

    for (BuildJob& job : jobs) {
        const Context jobOutputs = builder.createOutputContext(*job.context, job.result);
        std::vector<Assignment> collected;
        collected.reserve(jobOutputs.variables.size());
        for (const auto& [variableName, assignment] : jobOutputs.variables) {
            Assignment copy = assignment;
            if (copy.value)  // later appends to the outputs must not reach the builder's values
                copy.value = copy.value->deepClone();
            collected.push_back(std::move(copy));
        }
        outputs.appendToLists(collected);
    }
    builder.initialize();
}

}  // namespace Zarn
