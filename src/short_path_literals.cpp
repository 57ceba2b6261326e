#include "short_path_literals.h"

#include <string_view>

#include "zarn_names.h"

namespace Zarn {

std::string rewriteShortPathLiterals(const std::string& input)
{
    const std::string_view text(input);
    const std::size_t n = text.size();
    std::string out;
    out.reserve(n + 16);

    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];

        if (c == '"') {  // a quoted string; unterminated, it takes the rest
            const std::size_t close = text.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? n : close + 1;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }

        if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            const std::size_t eol = text.find_first_of("\r\n", i + 2);
            const std::size_t end = eol == std::string_view::npos ? n : eol;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }

        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const std::size_t close = text.find("*/", i + 2);
            if (close != std::string_view::npos) {
                out.append(text.substr(i, close + 2 - i));
                i = close + 2;
                continue;
            }
            out += c;  // unclosed: the lexer sees a slash and goes on after it
            ++i;
            continue;
        }

        if (!isIdentifierStart(c)) {
            out += c;
            ++i;
            continue;
        }

        const bool quoteFollows = i + 1 < n && text[i + 1] == '"';
        if ((c == 'R' || c == 'P') && quoteFollows) {
            if (i + 2 < n && text[i + 2] == '(') {  // long form: copied whole
                const std::size_t end = rawContentEnd(text, i + 3);
                if (end != std::string_view::npos) {
                    out.append(text.substr(i, end - i));
                    i = end;
                    continue;
                }
                out += c;  // unclosed: a one-letter identifier, then a string
                ++i;
                continue;
            }
            if (c == 'P') {
                const std::size_t close = text.find('"', i + 2);
                if (close == std::string_view::npos) {
                    out.append(text.substr(i));
                    break;
                }
                // The body holds no double quote, so no ")" and double quote
                // ends the long form before its own.
                const std::string_view body = text.substr(i + 2, close - i - 2);
                if (body.find_first_of("\r\n") == std::string_view::npos) {
                    out += "P\"(";
                    out.append(body);
                    out += ")\"";
                } else {
                    out.append(text.substr(i, close + 1 - i));
                }
                i = close + 1;
                continue;
            }
            out += c;  // R before a plain string: an identifier
            ++i;
            continue;
        }

        std::size_t j = i + 1;  // an identifier: a P inside it starts nothing
        while (j < n && isIdentifierChar(text[j]))
            ++j;
        out.append(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::size_t rawContentEnd(std::string_view text, std::size_t start)
{
    const std::size_t close = text.find(")\"", start);
    return close == std::string_view::npos ? close : close + 2;
}

}  // namespace Zarn
