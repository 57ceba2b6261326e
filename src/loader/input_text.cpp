#include "loader/input_text.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

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

bool isLoadableText(std::string_view text)
{
    return text.find('\0') == std::string_view::npos && isValidUtf8(text);
}

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

void InputText::loadValidUtf8(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::size_t count = 0;
    for (char c : text)
        count += !isContinuation(static_cast<unsigned char>(c));
    _data.clear();
    _data.shrink_to_fit();
    _data.reserve(count);
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t codePoint = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k)
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        _data.push_back(codePoint);
        i += length;
    }
    p = 0;
}

std::string InputText::utf8Text(std::size_t start, std::size_t stop) const
{
    std::string text;
    if (start > stop || start >= _data.size())
        return text;
    stop = std::min(stop, _data.size() - 1);
    text.reserve(stop - start + 1);
    for (std::size_t i = start; i <= stop; ++i) {
        const char32_t c = _data[i];
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

void loadInputText(antlr4::ANTLRInputStream& input, std::string_view text, const std::string& sourceName)
{
    rejectNulBytes(text, sourceName);
    if (!isValidUtf8(text))
        throwNotUtf8(sourceName);
    if (auto* decoded = dynamic_cast<InputText*>(&input)) {
        decoded->loadValidUtf8(text);
        return;
    }
    try {
        input.load(std::string(text));
    } catch (const std::range_error&) {
        throwNotUtf8(sourceName);
    }
}

void loadInputText(antlr4::ANTLRInputStream& input, std::istream& stream, const std::string& sourceName)
{
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    loadInputText(input, text, sourceName);
}

}  // namespace Zarn
