#include "types/zarn_path_string.h"
#include "types/value_kind.h"

#include <algorithm>
#include <system_error>

#include "types/zarn_interpolation.h"
#include "types/zarn_list.h"
#include "types/zarn_wildcards.h"

namespace fs = std::filesystem;

namespace Zarn {

namespace {

// An expanded text as the directory taken from the file system and the
// written part below it, whose wildcards match but for its first `literal`
// characters (the rest of a name the file system gave).
struct SplitPath {
    fs::path directory;
    fs::path written;
    std::size_t literal = 0;
};

// The verbatim start is the directory as far as it holds whole components
// (with the separators after it); otherwise a relative text lies below the
// base directory.
SplitPath splitPath(const std::string& text, std::size_t verbatim, const fs::path& baseDirectory)
{
    std::size_t cut = verbatim;
    if (cut > 0 && cut < text.size() && text[cut - 1] != '/' && text[cut] != '/') {
        const std::size_t separator = text.rfind('/', cut - 1);
        cut = separator == std::string::npos ? 0 : separator + 1;
    }
    while (cut > 0 && cut < text.size() && text[cut] == '/')
        ++cut;
    if (cut == 0)
        return {baseDirectory, fs::path(text), verbatim};
    return {fs::path(text.substr(0, cut)), fs::path(text.substr(cut)), verbatim > cut ? verbatim - cut : 0};
}

// A path value made by resolution: its text is the whole path, of which the
// verbatim start came from the file system.
ZarnValuePtr resolvedPath(const fs::path& path, std::size_t verbatim)
{
    auto result = std::make_shared<ZarnPathString>(path.string(), fs::path());
    result->setFinal(true);
    result->setVerbatimPrefix(verbatim);
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
    const auto* path = valueAs<const ZarnPathString>(&other);
    if (!path)
        return ZarnBaseString::equals(other);
    std::error_code error;
    bool same = fs::equivalent(fullPath(), path->fullPath(), error);
    return !error && same;
}

ZarnValuePtr ZarnPathString::createFromString(std::string newText) const
{
    const std::size_t prefix = getVerbatimPrefix();
    const bool samePrefix = prefix > 0 && newText.compare(0, prefix, text, 0, prefix) == 0;
    auto result = std::make_shared<ZarnPathString>(std::move(newText), baseDirectory);
    result->setFinal(final);
    if (samePrefix)
        result->setVerbatimPrefix(prefix);
    return result;
}

ZarnValuePtr ZarnPathString::resolve()
{
    if (final)
        return resolvedPath(fullPath(), fullPath().native().size());

    ZarnValuePtr expanded = expand();
    std::vector<ZarnValuePtr> texts;
    if (const auto* list = valueAs<const ZarnList>(expanded.get()))
        texts = list->getMembers();
    else
        texts.push_back(expanded);

    // Each outcome with the length of its start taken from the file system:
    // all of a match, the directory of a pattern that matched nothing.
    std::vector<std::pair<fs::path, std::size_t>> outcomes;
    bool unmatched = false;
    for (const auto& expandedText : texts) {
        const std::string written = expandedText->toString();
        const SplitPath split = splitPath(written, verbatimPrefixOf(*expandedText), baseDirectory);
        const fs::path whole = fs::path(written).has_root_directory() ? fs::path(written) : baseDirectory / written;
        std::vector<fs::path> matches;
        if (split.written.empty())
            matches.push_back(whole);
        else
            matches = expandWildcards(split.directory, split.written, split.literal);
        if (matches.empty()) {
            unmatched = true;
            const std::string directory = (split.directory / "").native();
            const bool below = !split.written.has_root_directory() && !split.directory.empty() &&
                               whole.native().compare(0, directory.size(), directory) == 0;
            outcomes.emplace_back(whole, below ? directory.size() : 0);
        }
        for (auto& match : matches) {
            const std::size_t length = match.native().size();
            outcomes.emplace_back(std::move(match), length);
        }
    }

    if (outcomes.size() == 1) {
        // The whole path now: its directories are never expanded again. A
        // pattern that matched nothing may match later, below the same
        // directory taken as it is.
        text = outcomes.front().first.string();
        final = !unmatched;
        setVerbatimPrefix(outcomes.front().second);
        return resolvedPath(outcomes.front().first, outcomes.front().second);
    }
    // The own text stays the pattern, which a later resolution expands again.
    final = false;
    auto result = std::make_shared<ZarnList>();
    for (const auto& outcome : outcomes)
        result->append(*resolvedPath(outcome.first, outcome.second));
    return result;
}

ZarnValuePtr makePathString(std::string text, const fs::path& baseDirectory)
{
    return std::make_shared<ZarnPathString>(std::move(text), baseDirectory);
}

void collectPaths(const ZarnValuePtr& value, std::vector<fs::path>& paths)
{
    if (const auto* path = valueAs<const ZarnPathString>(value.get())) {
        paths.push_back(path->fullPath());
        return;
    }
    if (valueAs<const ZarnList>(value.get())) {
        auto it = Zarn::begin(value);
        auto stop = Zarn::end(value);
        for (; !it->equals(*stop); it->next())
            collectPaths(it->current(), paths);
    }
}

}  // namespace Zarn
