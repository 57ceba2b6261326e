#include "tools/zarn_toolchain_directory.h"

#include <system_error>

#include "types/zarn_exceptions.h"

namespace Zarn {

namespace fs = std::filesystem;

fs::path absoluteToolchainPath(const std::string& text)
{
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(text), error);
    return error ? fs::path(text) : absolute;
}

bool searchPathCanHold(const fs::path& directory)
{
    return directory.native().find(':') == std::string::npos;
}

void requireSearchPathDirectory(const Util::CiString& toolName, const fs::path& directory)
{
    if (searchPathCanHold(directory))
        return;
    throw ZarnException("Tool '" + std::string(toolName) + "': the toolchain directory '" +
                        directory.string() + "' holds ':', so PATH cannot hold it; the tool is not used.");
}

}  // namespace Zarn
