#include "zarn_cache_escapes.h"
#include "types/value_kind.h"
#include "types/value_members.h"

#include <memory>
#include <utility>
#include <vector>

#include "types/zarn_value_types.h"
#include "zarn_cache_values.h"

namespace Zarn {

namespace {

bool needsEscape(unsigned char byte)
{
    return byte == '%' || byte == '"' || byte == ')' || byte < 0x20 || byte >= 0x7F;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The text a path is written with: its whole path when it still has a base.
std::string pathText(const ZarnPathString& path)
{
    return path.getBaseDirectory().empty() ? path.toString() : path.fullPath().string();
}

// A copy of the value with its texts escaped; other values are shared.
ZarnValuePtr escaped(const ZarnValuePtr& value)
{
    return mapPlainMembers(value, [](const ZarnValuePtr& member) -> ZarnValuePtr {
        if (const auto* path = valueAs<const ZarnPathString>(member.get()))
            return makePathString(escapeCacheText(pathText(*path)), {});
        if (const auto* string = valueAs<const ZarnBaseString>(member.get()))
            return string->createFromString(escapeCacheText(string->toString()));
        return member;
    });
}

}  // namespace

std::string escapeCacheText(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (needsEscape(byte)) {
            result += '%';
            result += digits[byte >> 4];
            result += digits[byte & 0x0F];
        } else {
            result += c;
        }
    }
    return result;
}

bool unescapeCacheText(std::string_view text, std::string& result)
{
    result.clear();
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (text.size() - i < 3)
            return false;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string escapedCacheAssignmentText(const Assignment& assignment)
{
    return cacheAssignmentText(Assignment(assignment.name, escaped(assignment.value), assignment.type, assignment.flags));
}

bool unescapeCacheValue(ZarnValuePtr& value)
{
    if (!value)
        return true;
    if (const auto* string = valueAs<const ZarnBaseString>(value.get())) {
        std::string text;
        if (!unescapeCacheText(string->toString(), text))
            return false;
        value = string->createFromString(std::move(text));
        return true;
    }
    if (const auto* list = valueAs<const ZarnList>(value.get())) {
        std::vector<ZarnValuePtr> members = list->getMembers();
        for (ZarnValuePtr& member : members)
            if (!unescapeCacheValue(member))
                return false;
        value = std::make_shared<ZarnList>(std::move(members));
        return true;
    }
    if (const auto* block = valueAs<const ZarnContext>(value.get())) {
        if (block->getContext())
            for (auto& [name, assignment] : block->getContext()->variables)
                if (!unescapeCacheValue(assignment.value))
                    return false;
    }
    return true;
}

}  // namespace Zarn
