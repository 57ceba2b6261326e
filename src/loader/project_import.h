// One entry of a project file's "import" section.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace Zarn {

struct ProjectImport {
    static constexpr uint32_t PathImport = 0;
    static constexpr uint32_t RegistryImport = 1;

    uint32_t kind = PathImport;
    std::filesystem::path path;  // path import: the imported project file as written
    std::string projectName;     // registry import: the registered name
    std::string alias;           // path import: the name the imported project takes; may be empty
    std::string sourceProfile;   // followed only while the importer's selected profile is this one
    std::string importProfile;   // becomes the imported project's selected profile
};

}  // namespace Zarn
