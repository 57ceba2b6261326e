#include "zarn_file_text.h"

#include <fstream>
#include <utility>

namespace Zarn {

bool readFileText(const std::filesystem::path& file, std::string& text)
{
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open())
        return false;
    // Unformatted reads turn a read error (EISDIR and the like) into badbit
    // instead of an exception or a silently empty text.
    std::string data;
    char buffer[1 << 16];
    for (;;) {
        in.read(buffer, sizeof buffer);
        data.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (!in)
            break;
    }
    if (in.bad() || !in.eof())
        return false;
    text = std::move(data);
    return true;
}

std::filesystem::path baseDirectoryOf(const std::filesystem::path& file)
{
    std::filesystem::path directory = file.parent_path();
    if (directory.empty())
        directory = ".";
    return std::filesystem::weakly_canonical(directory);
}

}  // namespace Zarn
