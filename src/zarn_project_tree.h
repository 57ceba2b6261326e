// The directory tree below a project root, with the unit files found in it;
// the material of a new project file.
#pragma once

#include <filesystem>
#include <list>
#include <map>
#include <set>
#include <vector>

#include "types/ci_string.h"

namespace Zarn {

// One directory: its subdirectories and regular files, in the order met.
struct ProjectDirectory {
    std::filesystem::path root;
    std::list<ProjectDirectory> subdirectories;
    std::list<std::filesystem::path> files;  // relative to the current directory
};

struct ProjectTree : ProjectDirectory {
    // Unit name -> the unit files that declare it, pointing into the files
    // lists (a std::list keeps them in place). Files without a unit name are
    // kept under "".
    std::map<Util::CiString, std::vector<const std::filesystem::path*>> units;
    // Canonical paths of the directories walked so far: a link back into
    // one of them is not followed again.
    std::set<std::filesystem::path> walkedDirectories;

    // Walks dir into record (depth first), collecting unit files into top.
    // Errors opening or walking a directory pass as filesystem errors.
    static void scan(ProjectTree& top, const std::filesystem::path& dir, ProjectDirectory& record);
};

// The unit name a unit file declares on its first line ("unit <name>", the
// keyword in any letter case), or "" when it declares none or cannot be read.
std::string readUnitNameLine(const std::filesystem::path& file);

}  // namespace Zarn
