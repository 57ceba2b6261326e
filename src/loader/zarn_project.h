// A loaded project: its file, name, imports, tools, units and profiles.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/build_tool_definition.h"
#include "loader/project_data.h"
#include "loader/project_import.h"
#include "loader/zarn_profile.h"
#include "types/ci_string.h"

namespace Zarn {

struct Project;
using ProjectPtr = std::shared_ptr<Project>;

struct Project {
    std::filesystem::path file;  // as the creator gave it
    std::string name;            // the namespace of its units; a name given by the creator wins over the file's
    std::vector<ProjectImport> imports;
    std::vector<ProjectPtr> importedProjects;  // filled by import resolution, in import order
    std::vector<BuildToolDefinition> toolDefinitions;
    std::map<Util::CiString, Profile> profiles;
    std::vector<ProjectUnit> units;
    std::string selectedProfile;  // empty when none is selected
};

}  // namespace Zarn
