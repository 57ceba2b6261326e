// Path values: strings with a base directory whose wildcards expand.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "types/zarn_string.h"

namespace Zarn {

class ZarnPathString : public ZarnString {
public:
    ZarnPathString(std::string text, std::filesystem::path baseDirectory)
        : ZarnString(std::move(text)), baseDirectory(std::move(baseDirectory))
    {
    }

    // P"<base/text>"; the parenthesised form where the short one would not
    // read back.
    std::string toLiteral() const override;
    bool hasLiteralForm() const override;
    // Another path: the same existing file; a plain string: the text.
    bool equals(const ZarnValue& other) const override;
    // Keeps the base directory and the final mark.
    ZarnValuePtr createFromString(std::string newText) const override;
    // Expands the text like a string, makes each result absolute against the
    // base directory and expands its wildcards: one new path value, or a
    // list of them. A final path is only made absolute. Only the written
    // part is a pattern: the base directory, and the verbatim start of a
    // text that already holds it, are matched as they are.
    ZarnValuePtr resolve() override;

    const std::filesystem::path& getBaseDirectory() const { return baseDirectory; }
    // The base directory joined with the text (an absolute text wins).
    std::filesystem::path fullPath() const { return baseDirectory / text; }

private:
    std::filesystem::path baseDirectory;
};

// A new path value with no resolver.
ZarnValuePtr makePathString(std::string text, const std::filesystem::path& baseDirectory);

// Appends the full path of every path value in the value, list members
// included at any depth; other values add nothing.
void collectPaths(const ZarnValuePtr& value, std::vector<std::filesystem::path>& paths);

}  // namespace Zarn
