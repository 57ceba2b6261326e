// The built-in variables that every target sees. The operations that build
// the global, command-line, profile and project runtime contexts are
// ZarnApplication's (zarn_app.h).
#pragma once

#include <ctime>
#include <filesystem>
#include <vector>

#include "loader/zarn_profile.h"
#include "types/zarn_context_types.h"

namespace Zarn {

// The built-in variables in the order they are added: os_family, year,
// month, day (local time of `now`), project_root, output_def_dir, cwd.
std::vector<Assignment> builtinVariables(const std::filesystem::path& projectRoot, std::time_t now);

// Adds a profile's variables and then its conditions to the context.
void addProfileTo(Context& context, const Profile& profile);

}  // namespace Zarn
