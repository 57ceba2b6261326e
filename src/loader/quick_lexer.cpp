#include "loader/quick_lexer.h"

#include <cstring>

#include "loader/input_text.h"

namespace Zarn {

namespace {

constexpr std::size_t endOfInput = antlr4::IntStream::EOF;

bool isNameStart(std::size_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(std::size_t c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-';
}

bool isDigit(std::size_t c)
{
    return c >= '0' && c <= '9';
}

struct Keyword {
    const char* text;
    std::size_t type;
};

constexpr Keyword keywords[] = {
    {"unit", CommonLexer::UNIT_STR},         {"if", CommonLexer::IF_STR},
    {"import", CommonLexer::IMPORT_STR},     {"units", CommonLexer::UNITS_STR},
    {"profiles", CommonLexer::PROFILES_STR}, {"projects", CommonLexer::PROJECTS_STR},
    {"tools", CommonLexer::TOOLS_STR},       {"name", CommonLexer::NAME_STR},
};

// The reading position, with the line and column kept as the runtime's lexer
// keeps them: a line feed starts a new line, any other code point is one
// column.
class Reader {
public:
    Reader(antlr4::CharStream& input, std::size_t& line, std::size_t& column)
        : input(input), line(line), column(column)
    {
    }

    std::size_t peek(std::size_t ahead = 0) { return input.LA(static_cast<ssize_t>(ahead + 1)); }

    void next()
    {
        if (input.LA(1) == '\n') {
            ++line;
            column = 0;
        } else {
            ++column;
        }
        input.consume();
    }

    void skip(std::size_t count)
    {
        for (; count > 0; --count)
            next();
    }

    antlr4::CharStream& input;
    std::size_t& line;
    std::size_t& column;
};

// Raw content after R"( or P"(, up to and past the first ")" followed by a
// double quote. False when it never closes.
bool skipRawContent(Reader& reader)
{
    for (std::size_t c = reader.peek(); c != endOfInput; c = reader.peek()) {
        if (c == ')' && reader.peek(1) == '"') {
            reader.skip(2);
            return true;
        }
        reader.next();
    }
    return false;
}

// The type of the token that starts here, having moved past it; 0 for a
// skipped one, and false where the grammar's lexer must decide.
bool lexOne(Reader& reader, std::size_t& type)
{
    const std::size_t c = reader.peek();
    const std::size_t second = reader.peek(1);
    switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
        while (reader.peek() == ' ' || reader.peek() == '\t' || reader.peek() == '\r' || reader.peek() == '\n')
            reader.next();
        type = 0;
        return true;
    case '/':
        if (second == '/') {
            reader.skip(2);
            for (std::size_t d = reader.peek(); d != endOfInput && d != '\n' && d != '\r'; d = reader.peek())
                reader.next();
            type = 0;
            return true;
        }
        if (second == '*') {
            reader.skip(2);
            for (;;) {
                const std::size_t d = reader.peek();
                if (d == endOfInput)
                    return false;
                if (d == '*' && reader.peek(1) == '/') {
                    reader.skip(2);
                    type = 0;
                    return true;
                }
                reader.next();
            }
        }
        type = CommonLexer::SLASH;
        break;
    case ':':
        type = second == ':' ? CommonLexer::DCOLON : CommonLexer::COLON;
        break;
    case '=':
        type = second == '>' ? CommonLexer::ALIAS : CommonLexer::EQUALS;
        break;
    case '+':
        type = second == '>' ? CommonLexer::MERGE_ALIAS : second == '=' ? CommonLexer::APPEND : CommonLexer::PLUS;
        break;
    case '!':
        type = second == '=' ? CommonLexer::NEQUALS : CommonLexer::MUST;
        break;
    case '?':
        if (second != '=')
            return false;
        type = CommonLexer::ASSIGNEMPTY;
        break;
    case '{':
        type = CommonLexer::LBRACE;
        break;
    case '}':
        type = CommonLexer::RBRACE;
        break;
    case '(':
        type = CommonLexer::LBRACKET;
        break;
    case ')':
        type = CommonLexer::RBRACKET;
        break;
    case '[':
        type = CommonLexer::LSQUARE;
        break;
    case ']':
        type = CommonLexer::RSQUARE;
        break;
    case '>':
        type = CommonLexer::GREATER;
        break;
    case '<':
        type = CommonLexer::LESSER;
        break;
    case '@':
        type = CommonLexer::AT;
        break;
    case '^':
        type = CommonLexer::UP;
        break;
    case ',':
        type = CommonLexer::COMMA;
        break;
    case '.':
        type = CommonLexer::DOT;
        break;
    case ';':
        type = CommonLexer::SEMICOLON;
        break;
    case '"':
        reader.next();
        for (std::size_t d = reader.peek(); d != '"'; d = reader.peek()) {
            if (d == endOfInput)
                return false;
            reader.next();
        }
        reader.next();
        type = CommonLexer::STRING;
        return true;
    default:
        if (isDigit(c) || (c == '-' && isDigit(second))) {
            reader.next();
            while (isDigit(reader.peek()))
                reader.next();
            type = CommonLexer::NUMBER;
            return true;
        }
        if (!isNameStart(c))
            return false;
        if ((c == 'R' || c == 'P') && second == '"' && reader.peek(2) == '(') {
            // An unclosed one lexes as a one-letter name: left to the lexer.
            reader.skip(3);
            if (!skipRawContent(reader))
                return false;
            type = c == 'R' ? CommonLexer::RAW_STRING : CommonLexer::PATH_STRING;
            return true;
        }
        char word[9];
        std::size_t length = 0;
        for (std::size_t d = reader.peek(); isNameChar(d); d = reader.peek()) {
            if (length < sizeof word - 1)
                word[length] = static_cast<char>(d);
            ++length;
            reader.next();
        }
        type = CommonLexer::IDENTIFIER;
        if (length < sizeof word) {
            word[length] = '\0';
            for (const Keyword& keyword : keywords)
                if (std::strcmp(word, keyword.text) == 0)
                    type = keyword.type;
        }
        return true;
    }
    // The one- and two-character tokens.
    const bool pair = type == CommonLexer::DCOLON || type == CommonLexer::ALIAS ||
                      type == CommonLexer::MERGE_ALIAS || type == CommonLexer::APPEND ||
                      type == CommonLexer::NEQUALS || type == CommonLexer::ASSIGNEMPTY;
    reader.skip(pair ? 2 : 1);
    return true;
}

}  // namespace

QuickLexer::QuickLexer(antlr4::CharStream& input, CommonLexer& lexer)
    : input(input), lexer(lexer), decoded(dynamic_cast<InputText*>(&input))
{
}

bool QuickLexer::next(std::unique_ptr<antlr4::Token>& token)
{
    Reader reader(input, line, column);
    auto* factory = lexer.getTokenFactory();
    while (!failed) {
        const std::size_t start = input.index();
        const std::size_t startLine = line;
        const std::size_t startColumn = column;
        if (reader.peek() == endOfInput) {
            token = factory->create({&lexer, &input}, antlr4::Token::EOF, "", antlr4::Token::DEFAULT_CHANNEL, start,
                                    start - 1, startLine, startColumn);
            return true;
        }
        std::size_t type = 0;
        if (!lexOne(reader, type))
            break;
        if (type != 0) {
            const std::size_t stop = input.index() - 1;
            // A token's text is its input text: given here, it spares the
            // runtime's converter each time the text is read.
            const bool hasText = decoded && (type == CommonLexer::IDENTIFIER || type == CommonLexer::STRING ||
                                             type == CommonLexer::RAW_STRING || type == CommonLexer::PATH_STRING ||
                                             type == CommonLexer::NUMBER);
            token = factory->create({&lexer, &input}, type, hasText ? decoded->utf8Text(start, stop) : "",
                                    antlr4::Token::DEFAULT_CHANNEL, start, stop, startLine, startColumn);
            return true;
        }
    }
    failed = true;
    return false;
}

bool lexQuickly(antlr4::CharStream& input, CommonLexer& lexer, std::vector<std::unique_ptr<antlr4::Token>>& tokens)
{
    QuickLexer quick(input, lexer);
    std::unique_ptr<antlr4::Token> token;
    while (quick.next(token)) {
        const bool end = token->getType() == antlr4::Token::EOF;
        tokens.push_back(std::move(token));
        if (end)
            return true;
    }
    input.seek(0);
    return false;
}

}  // namespace Zarn
