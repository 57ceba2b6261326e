// Expansion of ${...} interpolations and #{...} cross expansions in strings.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "types/ci_string.h"
#include "types/identifier_parser.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_string.h"

namespace Zarn {

// A reference whose name does not parse. Ordinary input, so it travels as
// one of the model's errors with the parser's message and position.
class ReferenceParseError : public ZarnException {
public:
    ReferenceParseError(std::string reference, ParseError error)
        : reference(std::move(reference)), error(std::move(error))
    {
    }
    std::string getMessage() const override;

    std::string reference;  // the text between the markers
    ParseError error;
};

// Cross expansions nest one level per copy; deeper nesting can only come
// from member texts that cross-expand again, so it is refused.
constexpr unsigned maxCrossExpansionDepth = 64;
// Bounds the strings one resolution may produce.
constexpr std::size_t maxCrossExpansionCopies = 100000;

// The state of one string resolution.
//
// Text that is final (already produced by resolution) must come out
// verbatim, although the expansion searches the whole work text again after
// every replacement. Such text is therefore kept out of the work text: a
// token stands in for it and is replaced by the text at the very end. The
// token bytes are a marker byte, digits and the marker again; marker bytes
// of ordinary text are themselves tokenised, so every marker in a work text
// belongs to a token.
class ExpansionState {
public:
    // Names whose values are being expanded on the current chain.
    std::unordered_set<Util::CiString, Util::CiHash, Util::CiEqual> visited;
    // Strings produced so far by cross expansion.
    std::size_t copies = 0;

    // A token standing for the final text; one taken from the file system
    // is also never a wildcard pattern.
    std::string protect(const std::string& finalText, bool fileSystemText = false);
    // The text with its marker bytes tokenised, ready to be expanded.
    std::string shield(const std::string& text);
    // The text with every token replaced by the text it stands for.
    std::string restore(const std::string& text) const;
    // The same, and the length of its start made only of file-system texts.
    std::string restore(const std::string& text, std::size_t& fileSystemStart) const;

private:
    std::vector<std::string> protectedTexts;
    std::vector<bool> fromFileSystem;
};

// Tokens for a final value's text; its verbatim start gets a file-system
// token of its own, and so does each list member's.
std::string protectFinalText(const ZarnValue& value, ExpansionState& state);

// The verbatim start of a string value, 0 for any other value.
std::size_t verbatimPrefixOf(const ZarnValue& value);

// The length of the back-reference token ("#" and a run of digits) at the
// position, 0 when there is none.
std::size_t matchHashNumber(const std::string& text, std::size_t position);

// True when expanding the text could change it or fail: it holds "${", "#{"
// or a back-reference token. Only a string that is never expanded keeps such
// a text as it is.
bool holdsReferences(const std::string& text);

// Replaces every ${...} of the text; the string supplies the resolver.
std::string expandReferences(const ZarnString& string, const std::string& text, ExpansionState& state);

// Interpolates the text, then makes one copy per member for its first cross
// expansion and expands each copy again with number + 1. The result holds
// work texts (with tokens); ExpansionState::restore gives the real texts.
ZarnValuePtr expandValue(const ZarnString& string, const std::string& text, ExpansionState& state,
                         unsigned number);

}  // namespace Zarn
