#include "types/identifier_parser.h"

#include <cctype>

namespace Zarn {

namespace {

bool atEnd(const IdentifierParserState& state)
{
    return state.position >= state.text.size();
}

unsigned char current(const IdentifierParserState& state)
{
    return static_cast<unsigned char>(state.text[state.position]);
}

bool isNameStart(unsigned char c)
{
    return std::isalpha(c) || c == '_';
}

bool isNameChar(unsigned char c)
{
    return std::isalnum(c) || c == '_';
}

// Reads a run of decimal digits; wraps modulo 2^64 like the original numbers.
uint64_t readNumber(IdentifierParserState& state)
{
    uint64_t value = 0;
    while (!atEnd(state) && std::isdigit(current(state))) {
        value = value * 10 + static_cast<uint64_t>(current(state) - '0');
        ++state.position;
    }
    return value;
}

// The part of a segment inside one pair of brackets, "[" already consumed.
bool parseIndex(IdentifierParserState& state, IndexExpr& out)
{
    if (atEnd(state)) {
        setParseError(state, "Unexpected end inside '[]'");
        return false;
    }
    unsigned char c = current(state);
    if (std::isdigit(c)) {
        uint64_t first = readNumber(state);
        if (state.text.substr(state.position, 2) == "..") {
            state.position += 2;
            if (atEnd(state) || !std::isdigit(current(state))) {
                setParseError(state, "Expected number");
                return false;
            }
            uint64_t last = readNumber(state);
            out = std::make_pair(first, last);
        } else {
            out = first;
        }
    } else if (isNameStart(c)) {
        if (state.depth >= maxIdentifierNesting) {
            setParseError(state, "Identifier nested too deeply");
            return false;
        }
        auto nested = std::make_shared<Identifier>();
        ++state.depth;
        bool ok = parseSegments(state, *nested, ']');
        --state.depth;
        if (!ok)
            return false;
        out = std::move(nested);
    } else {
        setParseError(state, "Invalid index expression inside '[]'");
        return false;
    }
    if (atEnd(state) || current(state) != ']') {
        setParseError(state, "Expected ']'");
        return false;
    }
    ++state.position;
    return true;
}

}  // namespace

void setParseError(IdentifierParserState& state, const char* message)
{
    if (state.error) {
        state.error->position = state.position;
        state.error->message = message;
    }
}

bool parseIdentifier(std::string_view text, Identifier& out, ParseError& error)
{
    IdentifierParserState state;
    state.text = text;
    state.error = &error;
    if (text.empty()) {
        out.segments.clear();
        setParseError(state, "Empty identifier");
        return false;
    }
    return parseSegments(state, out, '\0');
}

bool parseSegments(IdentifierParserState& state, Identifier& out, char terminator)
{
    out.segments.clear();
    while (true) {
        Identifier::Segment segment;
        if (!parseSegment(state, segment))
            return false;
        out.segments.push_back(std::move(segment));
        if (atEnd(state) || current(state) != '.')
            return true;
        ++state.position;
        if (atEnd(state) || state.text[state.position] == terminator) {
            setParseError(state, "Expected identifier segment after '.'");
            return false;
        }
    }
}

bool parseSegment(IdentifierParserState& state, Identifier::Segment& out)
{
    if (atEnd(state)) {
        setParseError(state, "Unexpected end while parsing name");
        return false;
    }
    if (!isNameStart(current(state))) {
        setParseError(state, "Invalid identifier start");
        return false;
    }
    std::size_t start = state.position;
    while (!atEnd(state) && isNameChar(current(state)))
        ++state.position;
    out.name = std::string(state.text.substr(start, state.position - start));
    while (!atEnd(state) && current(state) == '[') {
        ++state.position;
        IndexExpr index;
        if (!parseIndex(state, index))
            return false;
        out.indexes.push_back(std::move(index));
    }
    return true;
}

}  // namespace Zarn
