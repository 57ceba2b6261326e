// What the visitor reads from a project file, before it becomes a Project.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "loader/build_tool_definition.h"
#include "loader/project_import.h"
#include "loader/zarn_profile.h"

namespace Zarn {

// One entry of a "units" section; entries of the same name (letter case
// aside) are merged into the first.
struct ProjectUnit {
    std::string name;
    std::vector<std::filesystem::path> files;  // unit files as written, in order
};

struct ProjectData {
    std::string name;  // empty without a "name" line
    std::vector<ProjectImport> imports;
    std::vector<BuildToolDefinition> toolDefinitions;  // duplicates kept, in file order
    std::vector<ProjectUnit> units;
    std::vector<Profile> profiles;  // duplicates kept, in file order
};

}  // namespace Zarn
