#include "tools/zarn_default_toolchains.h"

#include <set>

#include "tools/zarn_compiler_search.h"
#include "tools/zarn_gnu_toolchain.h"
#include "tools/zarn_toolchain_directory.h"
#include "types/zarn_log.h"
#include "types/zarn_string.h"

namespace fs = std::filesystem;

namespace Zarn {

namespace {

bool isNameByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// A found text as the definition stores it. A text that a plain string would
// expand ("${...}", "#{...}", "#1") or cannot hold (a double quote) becomes a
// raw string, which reads back as the same text and is never expanded; the
// registry's save refuses a text that not even the raw form can hold.
Assignment setText(const std::string& name, const std::string& text)
{
    if (text.find_first_of("$#\"") == std::string::npos)
        return Assignment(name, makeString(text), Assignment::Set);
    return Assignment(name, std::make_shared<ZarnRawString>(text), Assignment::Set);
}

std::shared_ptr<ContextTemplate> definitionOf(const CompilerRecord& record)
{
    const std::string version = record.version.empty() ? "0" : record.version;
    const std::string name = "default_gnu_" + sanitizeToolName(version) + "_" + sanitizeToolName(record.arch);
    return std::make_shared<ContextTemplate>(std::vector<Assignment>{
        setText("toolchain_name", name),
        setText("tool_type", "gnu-gcc"),
        setText("toolchain_version", version),
        setText("prefix", record.prefix),
        setText("arch", record.arch),
        setText("os", record.os),
        setText("abi", record.abi),
        setText("toolchain_path", record.binDir.string()),
    });
}

}  // namespace

const std::vector<fs::path>& defaultToolchainRoots()
{
    static const std::vector<fs::path> roots = {"/usr/bin", "/usr/local/bin", "/opt/rh", "/opt"};
    return roots;
}

std::string sanitizeToolName(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        if (!isNameByte(static_cast<unsigned char>(c)))
            c = '_';
    }
    return result.empty() ? "unknown" : result;
}

std::vector<std::shared_ptr<ContextTemplate>> createDefaultGnuTools(const std::vector<fs::path>& roots)
{
    const ToolchainRequest anyToolchain = makeToolchainRequest(KeySet{});
    std::vector<std::shared_ptr<ContextTemplate>> definitions;
    std::set<std::string> keys;
    std::set<std::string> refusedDirectories;
    for (const auto& root : roots) {
        for (const auto& record : findCompilers(anyToolchain, root)) {
            // A directory without gcc, ar or ld would make a tool that fails every
            // build, and could replace a complete toolchain of the same name.
            if (!missingRequiredGnuTool(record).empty())
                continue;
            // Every build would refuse it, and it could replace a usable
            // toolchain of the same name.
            if (!searchPathCanHold(record.binDir)) {
                if (refusedDirectories.insert(record.binDir.native()).second)
                    logMessage(LogLevel::Warning,
                               "Toolchain directory '{}' holds ':', so PATH cannot hold it; its compilers are not "
                               "registered.\n",
                               record.binDir.string());
                continue;
            }
            const std::string key = canonicalPathText(record.binDir) + "|" + record.prefix + "|" + record.version;
            if (keys.insert(key).second)
                definitions.push_back(definitionOf(record));
        }
    }
    return definitions;
}

}  // namespace Zarn
