// Splits the work of one target into job groups and runs each group on a
// thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "types/ci_string.h"
#include "types/zarn_context_types.h"
#include "zarn_recipe.h"

namespace Zarn {

class Builder;

// Number of job groups: 1 when the job count, the builder's limit or the
// item count is 1 or less; else the least of the job count, the limit and
// half the items, at least 1. A signed job count is widened with its sign.
uint64_t computeJobParallelism(uint64_t jobs, uint64_t limit, uint64_t count);

// One context per group, the first groups one item longer. A group context
// has the target's name and parameter text and, as list variables, only its
// items' inputs (the intermediate of an input found up to date) and then the
// environment.
std::vector<std::shared_ptr<TargetContext>> splitTargetContexts(const TargetContext& target,
                                                                const std::vector<RecipeIO*>& items,
                                                                const std::vector<Assignment>& environment,
                                                                uint64_t groups);

// The job contexts as the job runner takes them.
std::vector<std::shared_ptr<Context>> toJobContextList(
    const std::vector<std::shared_ptr<TargetContext>>& contexts);

// Runs the jobs of one target: prepare, the recipes of every job, all jobs
// at once on their own threads (a job that gets no thread runs on the
// calling thread), waited for in order. A failed job prints why each recipe
// that could not be started was not, then "Build of <name> failed.
// Exiting.." and throws ZarnException "Build failed."; when the run is being
// stopped, the calling thread waits for its end instead. Otherwise every
// job's output context is merged into outputs as list variables and the
// builder is initialized. Null contexts are skipped;
// with none nothing happens.
void runBuildJobs(Builder& builder, const std::vector<std::shared_ptr<Context>>& contexts,
                  const Util::CiString& name, Context& outputs);

}  // namespace Zarn
