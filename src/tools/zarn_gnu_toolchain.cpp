#include "tools/zarn_gnu_toolchain.h"

#include <system_error>
#include <utility>
#include <vector>

#include "tools/zarn_compiler_search.h"
#include "tools/zarn_gnu_compile_tools.h"
#include "tools/zarn_gnu_link_tools.h"
#include "tools/zarn_gnu_matcher.h"
#include "tools/zarn_toolchain_directory.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"

namespace Zarn {

namespace fs = std::filesystem;

fs::path findGnuToolExecutable(const fs::path& binDir, const std::string& prefix, const std::string& name,
                               const std::string& versionSuffix)
{
    std::vector<std::string> candidates;
    if (!versionSuffix.empty()) {
        candidates.push_back(prefix + "-" + name + versionSuffix);
        candidates.push_back(name + versionSuffix);
    }
    for (const std::string& file : {prefix + "-" + name, prefix + "-" + name + ".exe", name, name + ".exe"})
        candidates.push_back(file);
    for (const std::string& file : candidates) {
        fs::path candidate = binDir / file;
        // A name the file system refuses (too long) is a name not there.
        std::error_code error;
        if (fs::exists(fs::status(candidate, error)))
            return candidate;
    }
    return {};
}

fs::path missingRequiredGnuTool(const CompilerRecord& compiler)
{
    const std::pair<const char*, bool> required[] = {{"gcc", true}, {"ar", false}, {"ld", false}};
    for (const auto& [program, versioned] : required) {
        if (findGnuToolExecutable(compiler.binDir, compiler.prefix, program, versioned ? compiler.versionSuffix : "")
                .empty())
            return compiler.binDir / (compiler.prefix + "-" + program);
    }
    return {};
}

namespace {

// The first record, replaced only by a strictly newer one.
const CompilerRecord* newestCompiler(const std::vector<CompilerRecord>& records)
{
    const CompilerRecord* chosen = nullptr;
    for (const CompilerRecord& record : records) {
        if (!chosen || chosen->binDir.empty() || compareVersions(record.version, chosen->version) == 1)
            chosen = &record;
    }
    return chosen;
}

template <typename Tool>
std::shared_ptr<Builder> makeTool(const KeySet& subjects, const VariableSchema& schema,
                                  const CompilerRecord& compiler, fs::path executable)
{
    return std::make_shared<Tool>(subjects, schema, compiler, std::move(executable));
}

}  // namespace

std::unique_ptr<Matcher> createGnuMatcher(Util::CiString name, KeySet wants, KeySet variables)
{
    auto matcher = std::make_unique<GNUMatcher>(std::move(name), gnuWantKeys(), gnuVariableKeys(), wants, variables);
    const ToolchainRequest request = makeToolchainRequest(wants);
    if (!request.toolchainPath || request.toolchainPath->empty())
        throw ZarnException("GNUMatcher requires want variable 'toolchain_path'.");
    requireSearchPathDirectory(matcher->name, *request.toolchainPath);
    const std::vector<CompilerRecord> records = findCompilers(request, *request.toolchainPath);
    const CompilerRecord* chosen = newestCompiler(records);
    if (!chosen)
        throw ZarnException("Couldn't find GNU toolchain from provided 'wants' variables.");
    requireSearchPathDirectory(matcher->name, chosen->binDir);
    matcher->compiler = *chosen;
    logMessage(LogLevel::Debug, "Compiler at {} added.\n", request.toolchainPath->string());

    const CompilerRecord& compiler = matcher->compiler;
    const fs::path& binDir = compiler.binDir;
    std::error_code statusError;
    if (binDir.empty() || !fs::is_directory(fs::status(binDir, statusError)))
        throw ZarnException("GNU binary directory not found: '" + binDir.string() + "'.");
    // The compilers of the probed version; the probed file itself may be a
    // wrapper (c99-gcc) and is never taken.
    auto find = [&](const std::string& program, bool versioned) {
        return findGnuToolExecutable(binDir, compiler.prefix, program, versioned ? compiler.versionSuffix : "");
    };
    if (const fs::path missing = missingRequiredGnuTool(compiler); !missing.empty())
        throw ZarnException("Required GNU tool missing: '" + missing.string() + "'.");
    matcher->tools.push_back(makeTool<GNU_GCC>(gccMatchSubjects(), gccVariableSchema(), compiler, find("gcc", true)));
    // Without g++ the toolchain still builds C.
    if (fs::path gpp = find("g++", true); !gpp.empty())
        matcher->tools.push_back(makeTool<GNU_GPP>(gppMatchSubjects(), gppVariableSchema(), compiler, gpp));
    matcher->tools.push_back(makeTool<GNU_AR>(arMatchSubjects(), arVariableSchema(), compiler, find("ar", false)));
    matcher->tools.push_back(makeTool<GNU_LD>(ldMatchSubjects(), ldVariableSchema(), compiler, find("ld", false)));
    if (fs::path objcopy = find("objcopy", false); !objcopy.empty())
        matcher->tools.push_back(
            makeTool<GNU_OBJCOPY>(objcopyMatchSubjects(), objcopyVariableSchema(), compiler, objcopy));
    return matcher;
}

}  // namespace Zarn
