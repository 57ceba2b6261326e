// What the visitor reads from the registry file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "loader/build_tool_definition.h"

// One registered project.
struct ZarnRegProject {
    std::string name;
    std::filesystem::path path;  // the project file; absolute, or joined to the registry's directory
};

struct ZarnRegData {
    std::vector<ZarnRegProject> projects;  // duplicates kept, in file order
    std::vector<Zarn::BuildToolDefinition> tools;
};
