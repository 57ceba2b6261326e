// --create-project: a first project file for the tree the user stands in,
// listing the unit files found below the project root by the unit each
// declares.
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "loader/input_text.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_checked_parse.h"
#include "zarn_names.h"
#include "zarn_project_tree.h"
#include "zarn_state_file.h"

namespace fs = std::filesystem;

namespace Zarn {

namespace {

const char* const utf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

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
    // The unit loader reads past a leading byte-order mark, and so does this.
    if (line.rfind(utf8ByteOrderMark, 0) == 0)
        line.erase(0, std::char_traits<char>::length(utf8ByteOrderMark));
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

// True when the name can be written; a warning naming it otherwise.
bool writableName(const char* what, const std::string& name, const char* consequence)
{
    if (Zarn::isValidIdentifier(name))
        return true;
    logMessage(LogLevel::Warning, "{} name '{}' is not a valid identifier or is a keyword; {}.\n", what, name,
               consequence);
    return false;
}

// A path reads back from a double-quoted string when the string can hold it
// (no double quote) and the file is text the loader takes (valid UTF-8).
bool writablePath(const fs::path& file)
{
    const std::string& text = file.native();
    if (text.find('"') == std::string::npos && Zarn::isValidUtf8(text))
        return true;
    logMessage(LogLevel::Warning, "Unit file '{}' cannot be written in {} so that it reads back; it is left out.\n",
               text, projectFileName);
    return false;
}

// The project file for the tree. Whatever could not be read back as written
// is left out, each with a warning naming it.
std::string projectFileText(const std::string& name, const Zarn::ProjectTree& tree)
{
    std::string text;
    if (writableName("Project", name, "the project file gets no name line"))
        text += "name " + name + "\n";
    text += "units\n{\n";
    for (const auto& [unit, files] : tree.units) {
        if (unit.empty() || !writableName("Unit", unit, "the unit is left out"))
            continue;
        std::string entry;
        for (const auto* file : files)
            if (writablePath(*file))
                entry += "  \"" + file->native() + "\"\n";
        if (!entry.empty())
            text += unit.str() + "\n{\n" + entry + "}\n";
    }
    text += "}\n";
    return text;
}

// Parses the text as a project file; an error names what does not read back.
void checkReadsBack(const std::string& text, const fs::path& target)
{
    try {
        Zarn::CheckedParse parse(text, target);
        parse.parser().projFile();
        parse.throwFirstError();
    } catch (const Zarn::ZarnException& error) {
        throw std::runtime_error("Project file '" + target.string() + "' not written: " + error.getMessage());
    } catch (const std::exception& error) {
        throw std::runtime_error("Project file '" + target.string() + "' not written: " + error.what());
    }
}

[[noreturn]] void refuseExisting(const fs::path& target)
{
    throw Zarn::ZarnException("Project file '" + target.string() + "' already exists; it is left as it is.");
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

    Zarn::ProjectTree tree;
    Zarn::ProjectTree::scan(tree, projectRoot, tree);
    const std::string text = projectFileText(name, tree);
    checkReadsBack(text, target);

    // Never replaces a project file, also not one that appeared meanwhile.
    switch (Zarn::writeStateFile(target, text, Zarn::StatePlacement::KeepExisting).step) {
    case Zarn::StateWriteStep::Done:
        return;
    case Zarn::StateWriteStep::Exists:
        refuseExisting(target);
    default:
        throw std::runtime_error("Unable to write project file: " + target.string());
    }
}
