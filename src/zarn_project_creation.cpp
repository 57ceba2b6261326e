// --create-project: a first project file for the tree the user stands in,
// listing the unit files found below the project root by the unit each
// declares.
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_file_text.h"
#include "zarn_names.h"
#include "zarn_project_tree.h"

namespace fs = std::filesystem;

namespace Zarn {

std::string readUnitNameLine(const fs::path& file)
{
    std::ifstream in(file);
    if (!in.is_open()) {
        logMessage(LogLevel::Error, "unit file not found\n");
        return {};
    }
    std::string line;
    if (!std::getline(in, line))
        return {};
    std::istringstream words(line);
    std::string keyword;
    std::string name;
    if (words >> keyword >> name && Util::ciEqual(keyword, "unit"))
        return name;
    return {};
}

void ProjectTree::scan(ProjectTree& top, const fs::path& dir, ProjectDirectory& record)
{
    record.root = dir;
    std::error_code error;
    const fs::path canonical = fs::canonical(dir, error);
    if (!error)
        top.walkedDirectories.insert(canonical);

    for (const auto& entry : fs::directory_iterator(dir)) {
        // A link counts as what it points to; a broken or looping one is skipped.
        std::error_code typeError;
        fs::file_status status = entry.symlink_status(typeError);
        if (!typeError && fs::is_symlink(status))
            status = entry.status(typeError);
        if (typeError)
            continue;

        if (fs::is_directory(status)) {
            const fs::path target = fs::canonical(entry.path(), error);
            if (error || top.walkedDirectories.count(target) != 0) {
                logMessage(LogLevel::Debug, "Not walking {} again.\n", entry.path().string());
                continue;
            }
            // Appended before the walk, so pointers into its files stay valid.
            record.subdirectories.emplace_back();
            scan(top, entry.path(), record.subdirectories.back());
        } else if (fs::is_regular_file(status)) {
            record.files.push_back(fs::relative(entry.path(), fs::current_path()));
            if (Util::ciEqual(entry.path().filename().string(), "zarn.txt"))
                top.units[readUnitNameLine(entry.path())].push_back(&record.files.back());
        }
    }
}

}  // namespace Zarn

namespace {

const char* const projectFileName = ".zarn_project.txt";

void warnUnloadableName(const char* what, const std::string& name)
{
    if (!Zarn::isValidIdentifier(name))
        logMessage(LogLevel::Warning,
                   "{} name '{}' is not a valid identifier or is a keyword; {} will not load until it is changed.\n",
                   what, name, projectFileName);
}

std::string projectFileText(const std::string& name, const Zarn::ProjectTree& tree)
{
    std::string text = "name " + name + "\n";
    text += "units\n{\n";
    for (const auto& [unit, files] : tree.units) {
        if (unit.empty())
            continue;
        warnUnloadableName("Unit", unit);
        text += unit.str() + "\n{\n";
        for (const auto* file : files)
            text += "  \"" + file->native() + "\"\n";
        text += "}\n";
    }
    text += "}\n";
    return text;
}

[[noreturn]] void refuseExisting(const fs::path& target)
{
    throw Zarn::ZarnException("Project file '" + target.string() + "' already exists; it is left as it is.");
}

// Puts the written temporary file in place without ever replacing a project
// file that appeared meanwhile.
void placeNewFile(const fs::path& temporary, const fs::path& target)
{
    std::error_code error;
    fs::create_hard_link(temporary, target, error);
    std::error_code ignored;
    if (!error) {
        fs::remove(temporary, ignored);
        return;
    }
    if (error == std::errc::file_exists || fs::exists(fs::symlink_status(target, ignored))) {
        fs::remove(temporary, ignored);
        refuseExisting(target);
    }
    // A file system without hard links: a plain rename.
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, ignored);
        throw std::runtime_error("Unable to write project file: " + target.string());
    }
}

}  // namespace

void ZarnApplication::CreateProjectFile(std::string& name)
{
    const fs::path target = fs::current_path() / projectFileName;
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)))
        refuseExisting(target);

    FindProjectRoot();
    if (name.empty())
        name = fs::current_path().filename().string();
    warnUnloadableName("Project", name);

    Zarn::ProjectTree tree;
    Zarn::ProjectTree::scan(tree, projectRoot, tree);
    const std::string text = projectFileText(name, tree);

    const fs::path temporary = Zarn::temporaryPathBeside(target);
    if (Zarn::writeFileText(temporary, text) != Zarn::WriteResult::Written)
        throw std::runtime_error("Unable to write project file: " + target.string());
    placeNewFile(temporary, target);
}
