// Small helpers of the visitor for reading token texts out of a parse tree.
#pragma once

#include <stdexcept>
#include <string>

#include "antlr4-runtime.h"

namespace Zarn {

// The node's text; "" for an absent node, which only a tree recovered from
// syntax errors can have.
inline std::string nodeText(antlr4::tree::ParseTree* node)
{
    return node ? node->getText() : std::string();
}

// A quoted text without its enclosing double quotes; other texts unchanged.
inline std::string withoutQuotes(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// The content of R"(...)" or P"(...)": without the three opening and the two
// closing characters.
inline std::string literalContent(const std::string& text)
{
    if (text.size() < 5)
        return std::string();
    return text.substr(3, text.size() - 5);
}

// A child the grammar always gives; absent only after syntax errors, which
// the loaders reject before visiting. Refused instead of dereferenced.
template <class Node>
Node* requireNode(Node* node, const char* what)
{
    if (node == nullptr)
        throw std::runtime_error(std::string("Malformed ") + what + " in parse tree.");
    return node;
}

}  // namespace Zarn
