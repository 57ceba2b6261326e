// Variable references such as a.b[2].c[1..3] or x[y.z], and the keys through
// which a lookup follows them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace Zarn {

struct Identifier;

// One index of a segment: a number, a range (first, last as written) or a
// nested identifier whose value is the index.
using IndexExpr = std::variant<uint64_t, std::pair<uint64_t, uint64_t>, std::shared_ptr<Identifier>>;

// A parsed variable reference: its dotted segments in order.
struct Identifier {
    struct Segment {
        std::string name;
        std::vector<IndexExpr> indexes;
    };

    std::vector<Segment> segments;
};

// A range step of a lookup; one made from an IndexExpr range has step 1.
struct AccessRange {
    int64_t start = 0;
    int64_t end = 0;
    int64_t step = 1;
};

// A regular-expression step of a lookup.
struct AccessPattern {
    std::string pattern;
};

// One step of a lookup: an index, a range, a member name or a pattern.
using AccessKey = std::variant<int64_t, AccessRange, std::string, AccessPattern>;

// The path a lookup follows, one key per step.
using KeyChain = std::vector<AccessKey>;

// Where and why a reference text did not parse. Deliberately no exception
// base: interpolation throws it as a plain record.
struct ParseError {
    uint64_t position = 0;
    std::string message;
};

// Nested bracket identifiers deeper than this are refused, so a hostile
// text cannot exhaust the stack.
constexpr unsigned maxIdentifierNesting = 64;

struct IdentifierParserState {
    std::string_view text;
    uint64_t position = 0;
    ParseError* error = nullptr;  // may be null: failures are then only reported by the result
    unsigned depth = 0;           // current bracket nesting
};

// Parses the whole reference text; stops quietly at the first byte after a
// segment that is not ".", so callers needing the full text consumed must use
// parseSegments and compare the position.
bool parseIdentifier(std::string_view text, Identifier& out, ParseError& error);

// Segments separated by "."; terminator is the byte that may not follow a
// "." (0 for none).
bool parseSegments(IdentifierParserState& state, Identifier& out, char terminator);

// One name and its bracketed indexes.
bool parseSegment(IdentifierParserState& state, Identifier::Segment& out);

// Records the current position and the message when the state has a record.
void setParseError(IdentifierParserState& state, const char* message);

}  // namespace Zarn
