#include "types/zarn_interpolation.h"
#include "types/value_kind.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include <fmt/format.h>

#include "types/nesting_limit.h"
#include "types/zarn_list.h"
#include "types/zarn_log.h"

namespace Zarn {

namespace {

constexpr char tokenMarker = '\x1A';

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

Identifier parseReference(const std::string& name)
{
    Identifier identifier;
    ParseError error;
    if (!parseIdentifier(name, identifier, error))
        throw ReferenceParseError(name, error);
    return identifier;
}

// A string that was never bound has nobody to answer: that is a failed
// lookup, reported like a missing variable.
ZarnValuePtr lookupReference(const ZarnString& string, const Identifier& identifier, const std::string& name)
{
    Resolver* resolver = string.getResolver();
    if (!resolver)
        throw NotFoundException("Assignment", name);
    return resolver->lookup(identifier);
}

// Removes a name from the visited set when its expansion ends, however.
class VisitGuard {
public:
    VisitGuard(ExpansionState& state, const std::string& name) : state(state), name(name)
    {
        state.visited.insert(name);
    }
    ~VisitGuard() { state.visited.erase(name); }
    VisitGuard(const VisitGuard&) = delete;
    VisitGuard& operator=(const VisitGuard&) = delete;

private:
    ExpansionState& state;
    Util::CiString name;
};

// The replacement of one ${...} whose lookup succeeded.
std::string replacementFor(const ZarnString& string, const std::string& name, const ZarnValuePtr& value,
                           ExpansionState& state)
{
    if (state.visited.count(name))
        throw std::out_of_range(name);
    if (!value)
        return {};
    if (isFinalText(*value))
        return protectFinalText(*value, state);
    VisitGuard guard(state, name);
    const std::string text = value->toString();
    const std::size_t verbatim = verbatimPrefixOf(*value);
    const std::string start = verbatim > 0 ? state.protect(text.substr(0, verbatim), true) : std::string();
    return start + expandReferences(string, state.shield(text.substr(verbatim)), state);
}

// Where the first #{...} of the text starts and ends ("}" included), or
// npos. Stray "#" and "}" before it are skipped.
std::pair<std::size_t, std::size_t> findCrossExpansion(const std::string& text)
{
    std::size_t start = std::string::npos;
    unsigned depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && i + 1 < text.size() && text[i + 1] == '{') {
            if (start == std::string::npos)
                start = i;
            ++depth;
            ++i;
        } else if (text[i] == '}' && start != std::string::npos) {
            if (--depth == 0)
                return {start, i};
        }
    }
    return {std::string::npos, std::string::npos};
}

void rejectBackReferences(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::size_t length = matchHashNumber(text, i))
            throw ZarnException("unresolved cross expansion reference '" + text.substr(i, length) + "'");
    }
}

// Replaces the back-references #number after the position by the text.
void replaceBackReferences(std::string& copy, std::size_t position, unsigned number,
                           const std::string& replacement)
{
    const std::string wanted = std::to_string(number);
    while (position < copy.size()) {
        std::size_t length = matchHashNumber(copy, position);
        if (length == 0) {
            ++position;
        } else if (copy.compare(position + 1, length - 1, wanted) == 0) {
            copy.replace(position, length, replacement);
            position += replacement.size();
        } else {
            position += length;
        }
    }
}

// A final string with the real text of a work text.
ZarnValuePtr finalString(const std::string& text, std::size_t verbatimPrefix = 0)
{
    auto result = std::make_shared<ZarnString>(text);
    result->setFinal(true);
    result->setVerbatimPrefix(verbatimPrefix);
    return result;
}

// A final string with the real text of a work text, keeping its start that
// came from the file system.
ZarnValuePtr restoredString(const std::string& work, const ExpansionState& state)
{
    std::size_t verbatim = 0;
    std::string text = state.restore(work, verbatim);
    return finalString(text, verbatim);
}

}  // namespace

std::string ReferenceParseError::getMessage() const
{
    return fmt::format("Invalid reference '{}': {} at position {}", reference, error.message, error.position);
}

std::size_t verbatimPrefixOf(const ZarnValue& value)
{
    const auto* string = valueAs<const ZarnString>(&value);
    return string ? std::min(string->getVerbatimPrefix(), string->toString().size()) : 0;
}

std::string protectFinalText(const ZarnValue& value, ExpansionState& state)
{
    // A list's text joins its members' texts: each member keeps its own
    // start from the file system (a product passed on as a list of one).
    if (const auto* list = valueAs<const ZarnList>(&value)) {
        std::string tokens;
        const auto& members = list->getMembers();
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (i > 0)
                tokens += state.protect(" ");
            if (members[i])
                tokens += protectFinalText(*members[i], state);
        }
        return tokens;
    }
    const std::string text = value.toString();
    const std::size_t verbatim = verbatimPrefixOf(value);
    if (verbatim == 0)
        return state.protect(text);
    return state.protect(text.substr(0, verbatim), true) + state.protect(text.substr(verbatim));
}

std::string ExpansionState::protect(const std::string& finalText, bool fileSystemText)
{
    protectedTexts.push_back(finalText);
    fromFileSystem.push_back(fileSystemText);
    return tokenMarker + std::to_string(protectedTexts.size() - 1) + tokenMarker;
}

std::string ExpansionState::shield(const std::string& text)
{
    if (text.find(tokenMarker) == std::string::npos)
        return text;
    std::string result;
    for (char c : text)
        result += c == tokenMarker ? protect(std::string(1, c)) : std::string(1, c);
    return result;
}

std::string ExpansionState::restore(const std::string& text) const
{
    std::size_t fileSystemStart = 0;
    return restore(text, fileSystemStart);
}

std::string ExpansionState::restore(const std::string& text, std::size_t& fileSystemStart) const
{
    // The start ends at the first text that is not from the file system.
    fileSystemStart = 0;
    bool inStart = true;
    auto add = [&](std::string& result, const std::string& part, bool fileSystemText) {
        if (inStart && fileSystemText)
            fileSystemStart += part.size();
        else if (!part.empty())
            inStart = false;
        result += part;
    };
    std::string result;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t start = text.find(tokenMarker, position);
        if (start == std::string::npos)
            break;
        std::size_t stop = text.find(tokenMarker, start + 1);
        if (stop == std::string::npos)
            break;
        add(result, text.substr(position, start - position), false);
        std::size_t index = 0;
        bool isToken = stop > start + 1;
        for (std::size_t i = start + 1; i < stop && isToken; ++i) {
            isToken = isDigit(text[i]) && index < protectedTexts.size();
            index = index * 10 + static_cast<std::size_t>(text[i] - '0');
        }
        if (isToken && index < protectedTexts.size()) {
            add(result, protectedTexts[index], fromFileSystem[index]);
            position = stop + 1;
        } else {
            // Not one of ours (only possible for text that was not shielded).
            add(result, std::string(1, tokenMarker), false);
            position = start + 1;
        }
    }
    add(result, text.substr(position), false);
    return result;
}

std::size_t matchHashNumber(const std::string& text, std::size_t position)
{
    if (position >= text.size() || text[position] != '#')
        return 0;
    std::size_t end = position + 1;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end == position + 1 ? 0 : end - position;
}

bool holdsReferences(const std::string& text)
{
    if (text.find("${") != std::string::npos || text.find("#{") != std::string::npos)
        return true;
    for (std::size_t hash = text.find('#'); hash != std::string::npos; hash = text.find('#', hash + 1))
        if (matchHashNumber(text, hash) > 0)
            return true;
    return false;
}

std::string expandReferences(const ZarnString& string, const std::string& text, ExpansionState& state)
{
    std::string work = text;
    for (;;) {
        std::size_t start = work.find("${");
        if (start == std::string::npos)
            return work;
        std::size_t close = work.find('}', start + 2);
        if (close == std::string::npos)
            throw ZarnException("missing '}'");
        std::size_t nested = work.find("${", start + 2);
        if (nested != std::string::npos && nested < close)
            throw ZarnException("nested ${} is not allowed");

        std::string name = state.restore(work.substr(start + 2, close - start - 2));
        Identifier identifier = parseReference(name);

        ZarnValuePtr value;
        bool found = false;
        try {
            value = lookupReference(string, identifier, name);
            found = true;
        } catch (const NestingLimitError&) {
            throw;
        } catch (...) {
            // Any failure of the lookup, the referred variable's own
            // resolution included, leaves an empty text.
            logMessage(LogLevel::Warning, "Variable '{}' does not exist.\n", name);
        }
        std::string replacement = found ? replacementFor(string, name, value, state) : std::string();
        work.replace(start, close - start + 1, replacement);
    }
}

ZarnValuePtr expandValue(const ZarnString& string, const std::string& text, ExpansionState& state,
                         unsigned number)
{
    if (number > maxCrossExpansionDepth)
        throw ZarnException("Cross expansion nested too deeply in '" + state.restore(text) + "'");

    std::string base = expandReferences(string, text, state);
    auto [start, close] = findCrossExpansion(base);
    if (start == std::string::npos) {
        rejectBackReferences(base);
        return std::make_shared<ZarnString>(base);
    }

    std::string name = state.restore(base.substr(start + 2, close - start - 2));
    ZarnValuePtr value = lookupReference(string, parseReference(name), name);

    std::vector<std::string> copies;
    auto it = Zarn::begin(value);
    auto stop = Zarn::end(value);
    for (; !it->equals(*stop); it->next()) {
        ZarnValuePtr member = it->current();
        std::string memberText = member ? member->toString() : std::string();
        std::string inserted =
            member && isFinalText(*member) ? protectFinalText(*member, state) : state.shield(memberText);
        std::string copy = base.substr(0, start) + inserted + base.substr(close + 1);
        replaceBackReferences(copy, start + inserted.size(), number, inserted);
        if (++state.copies > maxCrossExpansionCopies)
            throw ZarnException("Cross expansion of '" + name + "' gives too many strings");
        copies.push_back(std::move(copy));
    }

    // A value without members gives no copies at all.
    auto result = std::make_shared<ZarnList>();
    for (const auto& copy : copies)
        result->append(*expandValue(string, copy, state, number + 1));
    return result;
}

ZarnValuePtr ZarnString::resolve()
{
    if (final)
        return clone();
    // Without "${", "#{" or a token marker the expansion gives the text
    // itself, finished; most inherited strings are of this kind.
    if (text.find_first_of(std::string_view("$#\x1A", 3)) == std::string::npos) {
        final = true;
        return finalString(text, std::min(verbatimPrefix, text.size()));
    }
    return expand();
}

ZarnValuePtr ZarnString::expand()
{
    ExpansionState state;
    const std::size_t verbatim = std::min(verbatimPrefix, text.size());
    std::string work = verbatim > 0 ? state.protect(text.substr(0, verbatim), true) : std::string();
    work += state.shield(text.substr(verbatim));
    ZarnValuePtr expanded = expandValue(*this, work, state, 1);

    ZarnValuePtr result;
    if (const auto* list = valueAs<const ZarnList>(expanded.get())) {
        std::vector<ZarnValuePtr> members;
        for (const auto& member : list->getMembers())
            members.push_back(restoredString(member->toString(), state));
        result = std::make_shared<ZarnList>(std::move(members));
    } else {
        result = restoredString(expanded->toString(), state);
    }
    text = result->toString();
    final = true;
    verbatimPrefix = verbatimPrefixOf(*result);
    return result;
}

}  // namespace Zarn
