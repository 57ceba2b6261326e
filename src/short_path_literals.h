// The short path form P"text" that the cache and the registry writers emit,
// turned into the form the lexer reads, P"(text)".
#pragma once

#include <string>
#include <string_view>

namespace Zarn {

// Rewrites every P"text" that begins a token into P"(text)". The scan follows
// the lexer's token boundaries: quoted strings, raw and long path literals and
// comments are copied unchanged, so a P" inside them is never touched. A short
// form whose text holds a line break is left as it is.
std::string rewriteShortPathLiterals(const std::string& text);

// End (just past the closing `)"`) of raw content that starts at `start`, or
// npos when it never closes. Like the lexer, the first `)"` closes it.
std::size_t rawContentEnd(std::string_view text, std::size_t start);

}  // namespace Zarn
