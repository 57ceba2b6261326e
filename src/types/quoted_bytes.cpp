#include "types/quoted_bytes.h"

namespace Zarn {

std::string quotedBytes(std::string_view bytes, bool cut, std::size_t limit)
{
    static const char digits[] = "0123456789abcdef";
    std::string quote;
    std::size_t taken = 0;
    for (; taken < bytes.size(); ++taken) {
        const char c = bytes[taken];
        const std::size_t width = isPrintableAscii(c) ? 1 : 4;
        if (quote.size() + width > limit)
            break;
        if (width == 1) {
            quote += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            quote += "\\x";
            quote += digits[byte >> 4];
            quote += digits[byte & 0xf];
        }
    }
    if (cut || taken < bytes.size())
        quote += "...";
    return quote;
}

}  // namespace Zarn
