#pragma once
// Listeners that decide how lexer and parser errors become visible.

#include <filesystem>
#include <string>
#include <vector>

#include "antlr4-runtime.h"

// Counts syntax errors; unless quiet, also prints each one to standard error
// as "<name>: line L:C message".
class ZarnErrorCounter : public antlr4::BaseErrorListener {
public:
    ZarnErrorCounter(const char* name, bool quiet)
        : name(name)
        , quiet(quiet)
    {
    }

    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    const char* name;  // what is being parsed; not owned
    bool quiet;
    int errors = 0;
};

// Collects one line per error, "<path>(L,C): '<token>' message", for loaders
// that report the first one as their failure. What follows the position is
// quoted short and printable: these files (the registry, project files) may
// hold anything. Despite the name it never throws: the installer inspects
// `messages` after the parse.
class ThrowingErrorListener : public antlr4::BaseErrorListener {
public:
    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    std::vector<std::string> messages;
    std::filesystem::path sourcePath;
};

// Makes `listener` the only error listener of `recognizer`, so the runtime's
// console listener prints nothing.
void replaceErrorListeners(antlr4::Recognizer& recognizer, antlr4::ANTLRErrorListener& listener);
