// The per-user registry: known projects by name and named tool definitions,
// kept in ".zarn_registry.txt" in the per-user configuration directory.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "loader/zarn_project.h"
#include "types/ci_string.h"
#include "types/zarn_context_types.h"

// $HOME/.config/zarn, created when missing. Throws std::runtime_error
// "Unable to resolve HOME path." when HOME is unset or empty; a failure to
// create the directories passes as std::filesystem::filesystem_error.
std::filesystem::path configDirectory();

class ZarnRegistry {
public:
    explicit ZarnRegistry(std::filesystem::path filePath);

    std::filesystem::path filePath;
    std::map<Util::CiString, std::filesystem::path> projects;  // project name -> its project file
    std::map<Util::CiString, std::shared_ptr<Zarn::ContextTemplate>> tools;
    // Set while a read of an existing file has not completed: its content is
    // unknown, so it is never overwritten.
    bool loadFailed = false;

    // Fills the maps from filePath; an absent file is created empty and not
    // parsed. Errors are thrown (loadFailed then stays set); the maps change
    // only after the whole file was read.
    void load();

    // Rewrites filePath from the maps, as a state file (a fresh temporary
    // file renamed over it; a symbolic link is followed, so the file it
    // points to is replaced), so any failure leaves the old file as it was.
    // Refuses with std::runtime_error after a failed load or when the text
    // would not read back. On its own it is no read-modify-write: use update.
    void save();

    // The registry's read-modify-write: with the exclusive lock on the lock
    // file beside the registry (".zarn_registry.txt.lock") held throughout,
    // reads the file again, applies the change to this registry and saves
    // it. Runs that update at once are served one after the other and none
    // loses what another wrote. Errors of the lock, the load (the file as
    // it is now), the change and the save are thrown.
    //     registry->update([&](ZarnRegistry& r) { r.tools[name] = definition; });
    void update(const std::function<void(ZarnRegistry&)>& change);

    // Why the tool could not be saved so that it reads back as it is (the
    // check of save, for this one tool alone), or "" when it can.
    std::string toolWriteProblem(const Util::CiString& name,
                                 const std::shared_ptr<Zarn::ContextTemplate>& definition) const;

    // Records the project's file under its name. A null project is an
    // internal error.
    void addProject(const Zarn::ProjectPtr& project);

private:
    // The file's text for the current maps, not yet checked to read back.
    std::string toText() const;
    // Throws std::runtime_error unless the text reads back as the maps.
    void checkReadsBack(const std::string& text) const;
    // Why the text would not read back as the maps, or "" when it would.
    std::string readBackProblem(const std::string& text) const;
};
