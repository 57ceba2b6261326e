#include "types/ci_string.h"

namespace Util {

namespace {

// Folds ASCII letters only, as the C library's tolower does in the "C"
// locale that the program never leaves; inline, it costs no call per byte.
inline unsigned char fold(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

}  // namespace

bool ciEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

bool ciLess(std::string_view a, std::string_view b)
{
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        // Signed comparison: bytes >= 0x80 order before ASCII.
        auto fa = static_cast<signed char>(fold(a[i]));
        auto fb = static_cast<signed char>(fold(b[i]));
        if (fa != fb)
            return fa < fb;
    }
    return a.size() < b.size();
}

uint64_t ciHash(std::string_view text)
{
    uint64_t h = 0;
    for (char c : text) {
        // The folded byte is sign-extended before it is mixed in.
        auto f = static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(fold(c))));
        h ^= (h << 6) + (h >> 2) + 0x9e3779b9u + f;
    }
    return h;
}

std::size_t findCaseInsensitive(std::string_view text, std::string_view needle, std::size_t start)
{
    if (start >= text.size())
        return std::string::npos;
    if (needle.size() > text.size() - start)
        return std::string::npos;
    std::size_t last = text.size() - needle.size();
    for (std::size_t pos = start; pos <= last; ++pos) {
        if (ciEqual(text.substr(pos, needle.size()), needle))
            return pos;
    }
    return std::string::npos;
}

}  // namespace Util
