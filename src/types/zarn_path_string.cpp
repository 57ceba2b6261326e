#include "types/zarn_path_string.h"

#include <system_error>

#include "types/zarn_list.h"
#include "types/zarn_wildcards.h"

namespace fs = std::filesystem;

namespace Zarn {

namespace {

// A path value made by resolution: its text is the whole path.
ZarnValuePtr resolvedPath(const fs::path& path)
{
    auto result = std::make_shared<ZarnPathString>(path.string(), fs::path());
    result->setFinal(true);
    return result;
}

}  // namespace

std::string ZarnPathString::toLiteral() const
{
    const std::string full = baseDirectory.empty() ? text : fullPath().string();
    // Readers turn the short form into the parenthesised one, but only for a
    // text on one line without quotes that does not itself start with "(".
    bool shortFormReadsBack = full.find_first_of("\"\r\n") == std::string::npos && full.rfind('(', 0) != 0;
    if (shortFormReadsBack || !hasRawLiteralForm(full))
        return "P\"" + full + "\"";
    return "P\"(" + full + ")\"";
}

bool ZarnPathString::hasLiteralForm() const
{
    return hasRawLiteralForm(baseDirectory.empty() ? text : fullPath().string());
}

bool ZarnPathString::equals(const ZarnValue& other) const
{
    const auto* path = dynamic_cast<const ZarnPathString*>(&other);
    if (!path)
        return ZarnBaseString::equals(other);
    std::error_code error;
    bool same = fs::equivalent(fullPath(), path->fullPath(), error);
    return !error && same;
}

ZarnValuePtr ZarnPathString::createFromString(std::string newText) const
{
    auto result = std::make_shared<ZarnPathString>(std::move(newText), baseDirectory);
    result->setFinal(final);
    return result;
}

ZarnValuePtr ZarnPathString::resolve()
{
    if (final)
        return resolvedPath(fullPath());

    ZarnValuePtr expanded = expand();
    std::vector<std::string> texts;
    if (const auto* list = dynamic_cast<const ZarnList*>(expanded.get())) {
        for (const auto& member : list->getMembers())
            texts.push_back(member->toString());
    } else {
        texts.push_back(expanded->toString());
    }

    std::vector<fs::path> outcomes;
    bool unmatched = false;
    for (const auto& expandedText : texts) {
        fs::path path(expandedText);
        if (!path.has_root_directory())
            path = baseDirectory / path;
        std::vector<fs::path> matches = expandWildcards(path);
        unmatched = unmatched || matches.empty();
        if (matches.empty())
            outcomes.push_back(path);
        else
            outcomes.insert(outcomes.end(), matches.begin(), matches.end());
    }

    if (outcomes.size() == 1) {
        // The whole path now: its directories are never expanded again. A
        // pattern that matched nothing may match later.
        text = outcomes.front().string();
        final = !unmatched;
        return resolvedPath(outcomes.front());
    }
    // The own text stays the pattern, which a later resolution expands again.
    final = false;
    auto result = std::make_shared<ZarnList>();
    for (const auto& path : outcomes)
        result->append(*resolvedPath(path));
    return result;
}

ZarnValuePtr makePathString(std::string text, const fs::path& baseDirectory)
{
    return std::make_shared<ZarnPathString>(std::move(text), baseDirectory);
}

void collectPaths(const ZarnValuePtr& value, std::vector<fs::path>& paths)
{
    if (const auto* path = dynamic_cast<const ZarnPathString*>(value.get())) {
        paths.push_back(path->fullPath());
        return;
    }
    if (dynamic_cast<const ZarnList*>(value.get())) {
        auto it = Zarn::begin(value);
        auto stop = Zarn::end(value);
        for (; !it->equals(*stop); it->next())
            collectPaths(it->current(), paths);
    }
}

}  // namespace Zarn
