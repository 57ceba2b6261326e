#include "zarn_checked_parse.h"

#include <memory>
#include <stdexcept>

#include "loader/input_text.h"

namespace Zarn {

CheckedParse::LoadedInput::LoadedInput(const std::string& text, const std::filesystem::path& source)
{
    loadInputText(stream, text, source.string());
}

CheckedParse::CheckedParse(const std::string& text, const std::filesystem::path& source)
    : input(text, source), lexed(&input.stream, source.string()), tokens(&lexed), zarnParser(&tokens)
{
    listener.sourcePath = source;
    // On the lexer too: a stray character fails these files.
    replaceErrorListeners(lexed.lexer(), listener);
    replaceErrorListeners(zarnParser, listener);
    zarnParser.setErrorHandler(std::make_shared<QuotingErrorStrategy>());
}

void CheckedParse::throwFirstError() const
{
    if (!listener.messages.empty())
        throw std::runtime_error(listener.messages.front());
}

}  // namespace Zarn
