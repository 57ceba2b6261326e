// The children of a parse-tree node picked by the exact class of each child,
// with the answers of the generated accessors (ctx->valueNode(),
// ctx->IDENTIFIER(), ...), which try a dynamic_cast on every child. The
// generated rule contexts have no subclasses (no alternative is labelled),
// and terminals are the runtime's terminal and error nodes, so the class
// name is enough.
#pragma once

#include <cstddef>
#include <typeinfo>
#include <vector>

#include "antlr4-runtime.h"

namespace Zarn {

// The child as a terminal, or null for a rule context. A terminal's tree
// base is virtual, so only the cast can reach it; the class name spares the
// cast for every rule context.
inline antlr4::tree::TerminalNode* asTerminal(antlr4::tree::ParseTree* child)
{
    const std::type_info& type = typeid(*child);
    if (type == typeid(antlr4::tree::TerminalNodeImpl) || type == typeid(antlr4::tree::ErrorNodeImpl))
        return dynamic_cast<antlr4::tree::TerminalNode*>(child);
    return nullptr;
}

// The i-th child of class T, or null: ctx->getRuleContext<T>(i).
template <class T>
T* childOf(antlr4::ParserRuleContext* ctx, std::size_t i = 0)
{
    for (antlr4::tree::ParseTree* child : ctx->children)
        if (typeid(*child) == typeid(T) && i-- == 0)
            return static_cast<T*>(child);
    return nullptr;
}

// Every child of class T, in order: ctx->getRuleContexts<T>().
template <class T>
std::vector<T*> childrenOf(antlr4::ParserRuleContext* ctx)
{
    std::vector<T*> found;
    for (antlr4::tree::ParseTree* child : ctx->children)
        if (typeid(*child) == typeid(T))
            found.push_back(static_cast<T*>(child));
    return found;
}

// The i-th terminal of the token type, or null: ctx->getToken(type, i).
inline antlr4::tree::TerminalNode* tokenOf(antlr4::ParserRuleContext* ctx, std::size_t type, std::size_t i = 0)
{
    for (antlr4::tree::ParseTree* child : ctx->children)
        if (antlr4::tree::TerminalNode* terminal = asTerminal(child))
            if (terminal->getSymbol()->getType() == type && i-- == 0)
                return terminal;
    return nullptr;
}

// Every terminal of the token type, in order: ctx->getTokens(type).
inline std::vector<antlr4::tree::TerminalNode*> tokensOf(antlr4::ParserRuleContext* ctx, std::size_t type)
{
    std::vector<antlr4::tree::TerminalNode*> found;
    for (antlr4::tree::ParseTree* child : ctx->children)
        if (antlr4::tree::TerminalNode* terminal = asTerminal(child))
            if (terminal->getSymbol()->getType() == type)
                found.push_back(terminal);
    return found;
}

}  // namespace Zarn
