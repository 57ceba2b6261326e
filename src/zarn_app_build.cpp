// The build phase of a run: the cache, the command-mode target, the build of
// the main target, the outputs file and the cache save.
#include <exception>
#include <utility>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_build_cache_file.h"
#include "zarn_interrupts.h"
#include "zarn_outputs_file.h"
#include "zarn_target_visitor.h"

namespace {

// Saving after a failed build must not replace the error being reported.
void saveCacheAfterFailure(Zarn::RuntimeCache& cache) noexcept
{
    try {
        Zarn::saveCacheFile(cache);
    } catch (const std::exception& error) {
        logMessage(LogLevel::Error, "{}\n", error.what());
    } catch (const Zarn::ZarnException& error) {
        logMessage(LogLevel::Error, "Error: {}\n", error.getMessage());
    } catch (...) {
    }
}

}  // namespace

void ZarnApplication::OpenBuildCache()
{
    const std::filesystem::path file = projectRoot.empty() ? std::filesystem::path(".zarn_cache")
                                                           : projectRoot / ".zarn_cache";
    buildCache = std::make_unique<Zarn::RuntimeCache>(file);
    Zarn::loadCacheFile(*buildCache);
}

void ZarnApplication::CreateCommandLineTarget()
{
    if (!commandMode || mainProject)
        return;
    Util::CiString nameSpace;
    Util::CiString unitName;
    const auto unit = unitTable.getUnit(nameSpace, unitName);
    Zarn::Target target;
    target.name = mainTarget;
    for (const auto& entry : commandLineContext.variables) {
        const Zarn::Assignment& assignment = entry.second;
        target.assignments.emplace_back(assignment.name, assignment.value ? assignment.value->deepClone() : nullptr,
                                        assignment.type, assignment.flags);
    }
    target.conditions = commandLineContext.conditions;
    unit->addTarget(std::move(target));
}

int ZarnApplication::BuildMainTarget()
{
    CreateCommandLineTarget();
    Zarn::Context outputs;
    try {
        Zarn::VisitingState visiting;
        outputs = buildTarget(mainTarget, {}, visiting);
    } catch (...) {
        // Records stored in this run are sound; the failing target's claim
        // was given up and is not written. A stop saves nothing.
        Zarn::awaitInterruptEnd();
        if (buildCache)
            saveCacheAfterFailure(*buildCache);
        throw;
    }
    int status = 0;
    if (!outputsFile.empty() && !Zarn::writeOutputsFile(outputsFile, outputs))
        status = 1;
    if (buildCache)
        Zarn::saveCacheFile(*buildCache);
    return status;
}
