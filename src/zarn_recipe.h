// The records that pass between the tools, the cache and the job runner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "types/zarn_context_types.h"

namespace Zarn {

// One build step.
struct Recipe {
    std::string command;                       // handed to "/bin/sh -c"
    std::filesystem::path workingDirectory;    // empty: the current directory
    int kind = 0;                              // 0 run; 1 print only, the job ends with 38
    std::vector<std::filesystem::path> pathPrefixes;  // put in front of PATH
};

// One input of a recorded recipe.
struct RecipeInput {
    Assignment input;
    // The input's derived result (an object file for a source); a value-less
    // assignment when there is none.
    Assignment intermediate;
    // Set by the cache lookup when the input is unchanged since the last build.
    bool upToDate = false;
};

// One recipe as the cache records it.
struct RecipeIO {
    std::vector<RecipeInput> inputs;
    std::vector<Assignment> outputs;
};

// A parallel limit that lets the job count and the number of items decide.
constexpr uint64_t noParallelLimit = std::numeric_limits<uint64_t>::max();

// What a builder plans for a target. No recipes: the target is not cached.
struct BuildPlan {
    std::vector<RecipeIO> recipes;
    std::vector<Assignment> environment;  // compared as a whole, added to every job
    uint64_t limit = 1;                   // most jobs the tool allows
};

// One parallel job of a target.
struct BuildJob {
    std::shared_ptr<Context> context;
    std::vector<Recipe> recipes;
    int result = 0;  // the job's status once its task has ended
};

}  // namespace Zarn
