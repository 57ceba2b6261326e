#pragma once
// Parses test texts and runs the visitor on them, keeping the whole pipeline
// alive as long as the trees are used.

#include <stdexcept>
#include <string>

#include "loader/input_text.h"
#include "loader/lexed_text.h"
#include "loader/project_data.h"
#include "loader/syntax_errors.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_path_string.h"

namespace LoaderTest {

// A text loaded as the loaders load it, ready to parse. Lexer and parser
// errors go to the listener, or are counted quietly in `counter`.
struct Parsed {
    explicit Parsed(const std::string& text, antlr4::ANTLRErrorListener* listener = nullptr)
        : input(text)
        , lexed(&input.stream, "test")
        , tokens(&lexed)
        , parser(&tokens)
    {
        replaceErrorListeners(lexed.lexer(), listener ? *listener : counter);
        replaceErrorListeners(parser, listener ? *listener : counter);
    }

    // The tree, or std::runtime_error when the text had a syntax error.
    template <class Tree>
    Tree* clean(Tree* tree)
    {
        if (counter.errors > 0)
            throw std::runtime_error("test text has syntax errors");
        return tree;
    }

    struct Loaded {
        explicit Loaded(const std::string& text) { Zarn::loadInputText(stream, text, "test"); }
        Zarn::InputText stream;
    };

    ZarnErrorCounter counter {"test", true};
    Loaded input;
    Zarn::LexedText lexed;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;
};

// Whole texts through the visitor of their kind, read from "/base".
inline std::unique_ptr<Zarn::Unit> visitUnitText(const std::string& text)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor("/base", SourceKind::Unit);
    return Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(parsed.clean(parsed.parser.unitFile())->zarnUnit()));
}

inline Zarn::ProjectData visitProjectText(const std::string& text)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor("/base", SourceKind::Project);
    auto* body = parsed.clean(parsed.parser.projFile())->zarnProject();
    return Zarn::takeResult<Zarn::ProjectData>(visitor.visitZarnProject(body));
}

// One assignment, visited as it would be in a file of the given kind.
inline Zarn::Assignment visitAssignmentText(const std::string& text, int kind = SourceKind::Unit, bool must = false)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor("/base", kind);
    visitor.allowMustModifier = must;
    return Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(parsed.clean(parsed.parser.assignment())));
}

// "<type> <text>" of a value, with " @<base>" for a path value, or "(none)".
inline std::string describe(const Zarn::ZarnValuePtr& value)
{
    if (!value)
        return "(none)";
    auto* path = dynamic_cast<const Zarn::ZarnPathString*>(value.get());
    return value->typeName() + " " + value->toString() + (path ? " @" + path->getBaseDirectory().string() : "");
}

// "<type>/<flags> <name>=<value>" of an assignment, " resolved" when it is.
inline std::string summary(const Zarn::Assignment& a)
{
    return std::to_string(a.type) + "/" + std::to_string(a.flags) + " " + a.name + "=" + describe(a.value) +
           (a.resolved ? " resolved" : "");
}

// "{<assignments>; [<op> <lhs> <rhs> <block>]...}" of a block, in the order
// the visitor stored them, or "null".
inline std::string outline(const Zarn::ContextTemplate* block)
{
    if (!block)
        return "null";
    std::string text = "{";
    for (const auto& assignment : block->assignments)
        text += summary(assignment) + "; ";
    for (const auto& c : block->conditions)
        text += "[" + std::to_string(c.op) + " " + describe(c.lhs) + " " + describe(c.rhs) + " " +
                outline(c.context.get()) + "]";
    return text + "}";
}

inline std::string messageOf(const std::exception& error) { return error.what(); }
inline std::string messageOf(const Zarn::ZarnException& error) { return error.getMessage(); }

// The message of the Error the action throws, or "(no error)". Exceptions of
// other types pass through and fail the test.
template <class Error = std::runtime_error, class Action>
std::string failure(Action action)
{
    try {
        action();
    } catch (const Error& error) {
        return messageOf(error);
    }
    return "(no error)";
}

}  // namespace LoaderTest
