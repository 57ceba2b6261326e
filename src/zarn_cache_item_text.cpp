#include "zarn_cache_item_text.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "loader/input_text.h"
#include "types/zarn_value_types.h"
#include "short_path_literals.h"
#include "zarn_names.h"

namespace Zarn {

namespace {

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

// The reading position over the text; every step either moves past a whole
// token of the writer's shapes or refuses.
class WrittenText {
public:
    explicit WrittenText(std::string_view text) : text(text) {}

    bool atEnd() const { return at == text.size(); }

    bool take(std::string_view expected)
    {
        if (!startsWith(text, at, expected))
            return false;
        at += expected.size();
        return true;
    }

    // One value that is not a list; null when the text holds no such value
    // at this position.
    ZarnValuePtr scalar()
    {
        if (at >= text.size())
            return nullptr;
        const char c = text[at];
        if (c == '"')
            return quoted();
        if (c == 'R' && startsWith(text, at, "R\"("))
            return raw([](std::string content) -> ZarnValuePtr {
                return std::make_shared<ZarnRawString>(std::move(content));
            });
        if (c == 'P' && startsWith(text, at, "P\"("))
            return raw([](std::string content) { return makePathString(std::move(content), {}); });
        if (c == 'P' && startsWith(text, at, "P\""))
            return shortPath();
        if (c == '-' || (c >= '0' && c <= '9'))
            return number();
        return nullptr;
    }

    // "[]" or "[ v, v ]" with members that are not lists.
    ZarnValuePtr list()
    {
        if (take("[]"))
            return std::make_shared<ZarnList>();
        if (!take("[ "))
            return nullptr;
        std::vector<ZarnValuePtr> members;
        for (;;) {
            ZarnValuePtr member = scalar();
            if (!member)
                return nullptr;
            members.push_back(std::move(member));
            if (take(" ]"))
                return std::make_shared<ZarnList>(std::move(members));
            if (!take(", "))
                return nullptr;
        }
    }

private:
    // A string has no double quote inside, so the first one closes it.
    ZarnValuePtr quoted()
    {
        const std::size_t close = text.find('"', at + 1);
        if (close == std::string_view::npos)
            return nullptr;
        ZarnValuePtr value = makeString(std::string(text.substr(at + 1, close - at - 1)));
        at = close + 1;
        return value;
    }

    // R"(...)" or P"(...)": the lexer ends raw content at the first `)"`.
    template <class Make>
    ZarnValuePtr raw(Make make)
    {
        const std::size_t start = at + 3;
        const std::size_t end = rawContentEnd(text, start);
        if (end == std::string_view::npos)
            return nullptr;
        ZarnValuePtr value = make(std::string(text.substr(start, end - 2 - start)));
        at = end;
        return value;
    }

    // P"text": readers turn it into P"(text)" only when that reads back as
    // the same text; anything else is left to the general path.
    ZarnValuePtr shortPath()
    {
        const std::size_t start = at + 2;
        const std::size_t close = text.find('"', start);
        if (close == std::string_view::npos)
            return nullptr;
        const std::string_view body = text.substr(start, close - start);
        if (body.find_first_of("\r\n") != std::string_view::npos || (!body.empty() && body.front() == '('))
            return nullptr;
        at = close + 1;
        return makePathString(std::string(body), {});
    }

    // A 32-bit integer; a number out of range is an error on the general
    // path, so it is left to it.
    ZarnValuePtr number()
    {
        std::size_t k = at;
        const bool negative = text[k] == '-';
        if (negative)
            ++k;
        const std::size_t digits = k;
        int64_t magnitude = 0;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') {
            magnitude = magnitude * 10 + (text[k] - '0');
            if (magnitude > int64_t(std::numeric_limits<int32_t>::max()) + 1)
                return nullptr;
            ++k;
        }
        if (k == digits)
            return nullptr;
        const int64_t value = negative ? -magnitude : magnitude;
        if (value > std::numeric_limits<int32_t>::max())
            return nullptr;
        at = k;
        return std::make_shared<ZarnInt>(static_cast<int32_t>(value));
    }

    std::string_view text;
    std::size_t at = 0;
};

}  // namespace

bool readWrittenAssignmentText(std::string_view text, Assignment& assignment)
{
    // The general path decides what a NUL byte or a bad encoding means.
    if (std::memchr(text.data(), '\0', text.size()) != nullptr || !isValidUtf8(text))
        return false;
    std::size_t nameEnd = 0;
    if (text.empty() || !isIdentifierStart(text[0]))
        return false;
    while (nameEnd < text.size() && isIdentifierChar(text[nameEnd]))
        ++nameEnd;
    const std::string_view name = text.substr(0, nameEnd);
    if (!isValidIdentifier(name))
        return false;

    WrittenText rest(text.substr(nameEnd));
    if (rest.atEnd()) {
        assignment.name = std::string(name);
        assignment.value = nullptr;
        return true;
    }
    if (!rest.take(" = ") && !rest.take(" += ") && !rest.take(" ?= "))
        return false;
    ZarnValuePtr value = rest.scalar();
    if (!value)
        value = rest.list();
    if (!value || !rest.atEnd())
        return false;
    markFinal(value);
    assignment.name = std::string(name);
    assignment.value = std::move(value);
    return true;
}

}  // namespace Zarn
