#include "loader/input_text.h"

#include <iterator>
#include <stdexcept>

#include "parser/CommonLexer.h"
#include "types/zarn_exceptions.h"

namespace Zarn {

namespace {

[[noreturn]] void throwNotUtf8(const std::string& sourceName)
{
    throw ZarnException("Unable to read " + sourceName + ": the text is not valid UTF-8.");
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Lexes the loaded text once on a quiet lexer of its own, so the caller's
// listeners see every lexer error exactly once, in the parse's order.
void checkNesting(antlr4::ANTLRInputStream& input, const std::string& sourceName)
{
    CommonLexer lexer(&input);
    lexer.removeErrorListeners();
    std::size_t depth = 0;
    for (auto token = lexer.nextToken(); token->getType() != antlr4::Token::EOF; token = lexer.nextToken()) {
        switch (token->getType()) {
        case CommonLexer::LBRACE:
        case CommonLexer::LSQUARE:
            if (++depth > maxNestingDepth)
                throw ZarnException("Unable to read " + sourceName + ": blocks and lists are nested deeper than " +
                                    std::to_string(maxNestingDepth) + " levels.");
            break;
        case CommonLexer::RBRACE:
        case CommonLexer::RSQUARE:
            if (depth > 0)
                --depth;
            break;
        default:
            break;
        }
    }
    input.reset();
}

// A NUL byte would end the text wherever it is handed on as a C string (a
// recipe's command line), so the text is refused, naming where it is.
void rejectNulBytes(std::string_view text, const std::string& sourceName)
{
    const std::size_t at = text.find('\0');
    if (at == std::string_view::npos)
        return;
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if (!isContinuation(static_cast<unsigned char>(text[i]))) {
            ++column;
        }
    }
    throw ZarnException("Unable to read " + sourceName + ": a NUL byte at line " + std::to_string(line) +
                        ", column " + std::to_string(column) + ".");
}

}  // namespace

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        uint32_t codePoint;
        uint32_t minimum;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (size - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            auto byte = static_cast<unsigned char>(text[i + k]);
            if (!isContinuation(byte))
                return false;
            codePoint = (codePoint << 6) | (byte & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

void loadInputText(antlr4::ANTLRInputStream& input, std::string_view text, const std::string& sourceName)
{
    rejectNulBytes(text, sourceName);
    if (!isValidUtf8(text))
        throwNotUtf8(sourceName);
    try {
        input.load(std::string(text));
    } catch (const std::range_error&) {
        throwNotUtf8(sourceName);
    }
    checkNesting(input, sourceName);
}

void loadInputText(antlr4::ANTLRInputStream& input, std::istream& stream, const std::string& sourceName)
{
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    loadInputText(input, text, sourceName);
}

}  // namespace Zarn
