// Strings compared, ordered and hashed without regard to ASCII letter case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace Util {

// Case-insensitive equality, per byte.
bool ciEqual(std::string_view a, std::string_view b);
// Case-insensitive order: folded bytes compared as signed 8-bit, shorter first.
bool ciLess(std::string_view a, std::string_view b);
// Case-insensitive hash; equal under ciEqual implies equal hashes.
uint64_t ciHash(std::string_view text);

// First position >= start where needle occurs in text ignoring case, or npos.
// An empty needle matches at start, except when start is the text's end.
std::size_t findCaseInsensitive(std::string_view text, std::string_view needle, std::size_t start = 0);

// A std::string whose comparisons fold case. The text keeps its case.
// Every comparison operator is also overloaded for std::string, string_view
// and const char* operands: otherwise the base class's case-sensitive
// operators would win overload resolution for mixed comparisons.
class CiString : public std::string {
public:
    using std::string::string;
    CiString() = default;
    CiString(const std::string& text) : std::string(text) {}
    CiString(std::string&& text) : std::string(std::move(text)) {}

    const std::string& str() const { return *this; }
};

// Comparators for containers keyed by names; transparent, so lookups with
// std::string, string_view or const char* need no conversion.
struct CiLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return ciLess(a, b); }
};

struct CiEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return ciEqual(a, b); }
};

struct CiHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return static_cast<std::size_t>(ciHash(text)); }
};

#define ZARN_CI_STRING_OPERATORS(OP, EXPR)                                                     \
    inline bool operator OP(const CiString& a, const CiString& b) { return EXPR; }            \
    inline bool operator OP(const CiString& a, const std::string& b) { return EXPR; }         \
    inline bool operator OP(const std::string& a, const CiString& b) { return EXPR; }         \
    inline bool operator OP(const CiString& a, std::string_view b) { return EXPR; }           \
    inline bool operator OP(std::string_view a, const CiString& b) { return EXPR; }           \
    inline bool operator OP(const CiString& a, const char* b) { return EXPR; }                \
    inline bool operator OP(const char* a, const CiString& b) { return EXPR; }

ZARN_CI_STRING_OPERATORS(==, ciEqual(a, b))
ZARN_CI_STRING_OPERATORS(!=, !ciEqual(a, b))
ZARN_CI_STRING_OPERATORS(<, ciLess(a, b))
ZARN_CI_STRING_OPERATORS(>, ciLess(b, a))
ZARN_CI_STRING_OPERATORS(<=, !ciLess(b, a))
ZARN_CI_STRING_OPERATORS(>=, !ciLess(a, b))

#undef ZARN_CI_STRING_OPERATORS

}  // namespace Util

// Unordered containers of CiString fold case by default too.
namespace std {
template <>
struct hash<Util::CiString> {
    size_t operator()(const Util::CiString& text) const { return Util::CiHash{}(text); }
};
}  // namespace std
