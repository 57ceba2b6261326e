// A parse that first runs without error recovery: for text without syntax
// errors the tree is the same, and the parser skips the resynchronisation
// sets it would otherwise compute before every optional or repeated part.
#pragma once

#include <memory>

#include "antlr4-runtime.h"
#include "loader/lexed_text.h"
#include "loader/syntax_errors.h"
#include "parser/ZarnTopParser.h"

namespace Zarn {

// Parses with the start rule. The first pass bails out quietly at the first
// syntax error; the text is then parsed again from its start the ordinary
// way, reporting to `listener` (then the parser's only error listener), so
// every message and the error count are those of one ordinary parse; its
// messages quote tokens short and printable (QuotingErrorStrategy). Text
// with lexer reports is parsed the ordinary way at once, so that the
// reports keep their place among the parser's.
template <class Context>
Context* parseQuietlyFirst(ZarnTopParser& parser, const LexedText& lexed, antlr4::ANTLRErrorListener& listener,
                           Context* (ZarnTopParser::*rule)())
{
    parser.removeErrorListeners();
    Context* tree = nullptr;
    if (!lexed.hasReports()) {
        parser.setErrorHandler(std::make_shared<antlr4::BailErrorStrategy>());
        try {
            tree = (parser.*rule)();
        } catch (const antlr4::ParseCancellationException&) {
            parser.reset();
        }
    }
    parser.setErrorHandler(std::make_shared<QuotingErrorStrategy>());
    parser.addErrorListener(&listener);
    return tree ? tree : (parser.*rule)();
}

}  // namespace Zarn
