#include "zarn_file_text.h"

#include <fstream>
#include <stdexcept>

#include "types/zarn_exceptions.h"

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

void loadLexerInput(antlr4::ANTLRInputStream& input, const std::string& text,
                    const std::filesystem::path& file)
{
    try {
        input.load(text);
    } catch (const std::range_error&) {
        throw ZarnException("File '" + file.string() + "' is not valid UTF-8 text.");
    }
    input.name = file.string();
}

}  // namespace Zarn
