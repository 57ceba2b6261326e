// Helpers shared by every test folder: values and contexts, throw-away
// directories, captured log output, what an action throws, and (where the
// generated parser is on the include path) texts through parser and visitor.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "socket_file.h"
#include "loader/zarn_project.h"
#include "types/identifier_parser.h"
#include "types/zarn_context_value.h"
#include "types/zarn_context_types.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"
#include "zarn_match_result.h"

namespace TestSupport {

using Words = std::vector<std::string>;

inline Zarn::Identifier ident(const std::string& text)
{
    Zarn::Identifier identifier;
    Zarn::ParseError error;
    EXPECT_TRUE(Zarn::parseIdentifier(text, identifier, error)) << text << ": " << error.message;
    return identifier;
}

inline Zarn::ZarnValuePtr str(const std::string& text) { return Zarn::makeString(text); }
inline Zarn::ZarnValuePtr raw(const std::string& text) { return std::make_shared<Zarn::ZarnRawString>(text); }
inline Zarn::ZarnValuePtr integer(int value) { return std::make_shared<Zarn::ZarnInt>(value); }
inline Zarn::ZarnValuePtr path(const std::filesystem::path& file) { return Zarn::makePathString(file.string(), {}); }
inline Zarn::ZarnValuePtr idValue(const std::string& text) { return std::make_shared<Zarn::ZarnIdentifier>(ident(text)); }
// A string that came out of resolution: never expanded again.
inline Zarn::ZarnValuePtr finalStr(const std::string& text)
{
    auto value = Zarn::makeString(text);
    Zarn::markFinal(value);
    return value;
}
inline std::shared_ptr<Zarn::ZarnList> list(std::vector<Zarn::ZarnValuePtr> members)
{
    return std::make_shared<Zarn::ZarnList>(std::move(members));
}
inline std::shared_ptr<Zarn::ZarnList> strings(const Words& texts)
{
    std::vector<Zarn::ZarnValuePtr> members;
    for (const auto& text : texts)
        members.push_back(str(text));
    return list(std::move(members));
}
// A context holding the assignments' own value objects, bound to it.
inline Zarn::ContextPtr contextWith(const std::vector<Zarn::Assignment>& assignments)
{
    auto context = std::make_shared<Zarn::Context>();
    for (const Zarn::Assignment& assignment : assignments)
        context->addAssignment(assignment, 0);
    return context;
}
// A "{ ... }" block over contextWith(assignments).
inline std::shared_ptr<Zarn::ZarnContext> block(const std::vector<Zarn::Assignment>& assignments)
{
    return std::make_shared<Zarn::ZarnContext>(contextWith(assignments));
}

inline Zarn::Assignment set(const std::string& name, Zarn::ZarnValuePtr value, uint32_t flags = 0)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Set, flags);
}
inline Zarn::Assignment append(const std::string& name, Zarn::ZarnValuePtr value)
{
    return Zarn::Assignment(name, std::move(value), Zarn::Assignment::Append);
}
inline Zarn::Assignment declare(const std::string& name)
{
    return Zarn::Assignment(name, nullptr, Zarn::Assignment::Declare);
}
inline Zarn::Assignment output(const std::string& name, Zarn::ZarnValuePtr value)
{
    return set(name, std::move(value), Zarn::Assignment::OutputFlag);
}

inline Zarn::Condition condition(const std::string& name, Zarn::Condition::OperatorType op, Zarn::ZarnValuePtr rhs,
                                 std::vector<Zarn::Assignment> then, std::vector<Zarn::Condition> nested = {})
{
    return {idValue(name), std::move(rhs), op,
            std::make_shared<Zarn::ContextTemplate>(std::move(then), std::move(nested))};
}

inline std::string text(const Zarn::ZarnValuePtr& value) { return value ? value->toString() : "<null>"; }

// The resolved text of a variable.
inline std::string resolved(Zarn::Context& context, const std::string& name)
{
    return text(context.lookup(ident(name)));
}

// The texts of the members a walk over the value yields.
inline Words walk(const Zarn::ZarnValuePtr& value)
{
    Words texts;
    auto stop = Zarn::end(value);
    for (auto it = Zarn::begin(value); !it->equals(*stop); it->next())
        texts.push_back(text(it->current()));
    return texts;
}

// The text of a variable's value; "" when absent or value-less.
inline std::string textOf(const Zarn::Context& context, const std::string& name)
{
    return Zarn::getString(context, name);
}

// A target "demo::name" with the given variables.
inline std::shared_ptr<Zarn::TargetContext> targetWith(const std::vector<Zarn::Assignment>& variables,
                                                        const std::string& name = "gen")
{
    auto target = std::make_shared<Zarn::TargetContext>(Zarn::QualifiedTargetName("", "demo", name), "");
    for (const Zarn::Assignment& assignment : variables)
        target->addAssignment(assignment, 1);
    return target;
}

// The kinds of a match in name order: "name:kind/claimed ...", kind 0 none,
// 1 partial, 2 exact.
inline std::string kindsOf(const Zarn::MatchResult& result)
{
    std::string text;
    for (const auto& [name, entry] : result.kinds)
        text += (text.empty() ? "" : " ") + name.str() + ":" + std::to_string(entry.kind) + "/" +
                std::to_string(entry.claimed);
    return text;
}

inline Zarn::ProjectPtr makeProject(const std::string& name, const std::filesystem::path& file)
{
    auto project = std::make_shared<Zarn::Project>();
    project->name = name;
    project->file = file;
    return project;
}

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A directory removed with everything in it when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zarn-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir = std::filesystem::canonical(pattern);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir; }
    std::filesystem::path operator/(const std::string& name) const { return dir / name; }
    // Writes the file (relative paths below the directory), making its
    // directories.
    std::filesystem::path write(const std::filesystem::path& file, const std::string& text = "x") const
    {
        const std::filesystem::path full = dir / file;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary | std::ios::trunc) << text;
        return full;
    }

protected:
    std::filesystem::path dir;
};

// A temporary tree with "home" as HOME and "work" as the current directory,
// where relative paths are written; both are put back at the end.
class Sandbox : public TempDir {
public:
    Sandbox() : savedCwd(std::filesystem::current_path())
    {
        if (const char* home = getenv("HOME"))
            savedHome = home;
        dir /= "work";  // writes go below work(); the destructor removes the whole tree
        std::filesystem::create_directories(dir);
        std::filesystem::create_directories(home());
        setenv("HOME", home().c_str(), 1);
        std::filesystem::current_path(dir);
    }
    ~Sandbox()
    {
        dir = root();
        std::error_code ignored;
        std::filesystem::current_path(savedCwd, ignored);
        savedHome ? setenv("HOME", savedHome->c_str(), 1) : unsetenv("HOME");
    }

    std::filesystem::path root() const { return dir.parent_path(); }
    std::filesystem::path home() const { return root() / "home"; }
    std::filesystem::path work() const { return root() / "work"; }
    std::filesystem::path registryFile() const { return home() / ".config" / "zarn" / ".zarn_registry.txt"; }

private:
    std::filesystem::path savedCwd;
    std::optional<std::string> savedHome;
};


// Runs the action with writes to regular files limited to their first
// `bytes` bytes: a write past that fails (EFBIG), as on a full disk. SIGXFSZ
// is ignored meanwhile; child processes started within inherit both.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& action)
{
    struct Restore {
        rlimit limit{};
        void (*handler)(int) = nullptr;
        ~Restore()
        {
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, handler);
        }
    } restore;
    getrlimit(RLIMIT_FSIZE, &restore.limit);
    restore.handler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = restore.limit;
    limited.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
        throw std::runtime_error("cannot limit the file size");
    action();
}

// Standard output (the log and child processes) while the action runs, the
// log threshold at `threshold`.
inline std::string captureLog(int threshold, const std::function<void()>& action)
{
    struct Restore {
        int saved = logThreshold.load();
        ~Restore() { logThreshold = saved; }
    } restore;
    logThreshold = threshold;
    testing::internal::CaptureStdout();
    try {
        action();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

// What the action throws: "Zarn: " + the message of a ZarnException, "std: "
// + what() of a standard exception, "" when nothing is thrown.
inline std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Zarn::ZarnException& error) {
        return "Zarn: " + error.getMessage();
    } catch (const std::exception& error) {
        return std::string("std: ") + error.what();
    }
    return {};
}

// errorOf with the log silenced.
inline std::string quietErrorOf(const std::function<void()>& action)
{
    std::string error;
    captureLog(8, [&] { error = errorOf(action); });
    return error;
}

// The message of the error of type E the action throws; "<no error>" when it
// throws none (an error of another type fails the test).
// How many cases a random test tries: ZARN_FUZZ_ITERATIONS when it is set to
// a positive number, else the test's own small count for CI.
inline std::size_t fuzzIterations(std::size_t fallback)
{
    const char* configured = std::getenv("ZARN_FUZZ_ITERATIONS");
    const long long wanted = configured ? std::atoll(configured) : 0;
    return wanted > 0 ? static_cast<std::size_t>(wanted) : fallback;
}

template <class E = Zarn::ZarnException>
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const E& error) {
        if constexpr (std::is_base_of_v<Zarn::ZarnException, E>)
            return error.getMessage();
        else
            return error.what();
    }
    return "<no error>";
}

}  // namespace TestSupport

#if __has_include("parser/CommonLexer.h")
#include "loader/input_text.h"
#include "loader/lexed_text.h"
#include "loader/project_data.h"
#include "loader/syntax_errors.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "types/zarn_path_string.h"

namespace TestSupport {

// Keeps "line:column message" per reported error.
class ErrorCollector : public antlr4::BaseErrorListener {
public:
    std::vector<std::string> messages;

    void syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t column, const std::string& msg,
                     std::exception_ptr) override
    {
        messages.push_back(std::to_string(line) + ":" + std::to_string(column) + " " + msg);
    }
};

// A text loaded as the loaders load it, ready to parse; the whole pipeline
// lives as long as this does. Errors, with tokens quoted as the loaders
// quote them, go to the listener, or are collected.
struct Parsed {
    explicit Parsed(const std::string& text, antlr4::ANTLRErrorListener* listener = nullptr)
        : input(text), lexed(&input.stream, "test"), tokens(&lexed), parser(&tokens)
    {
        replaceErrorListeners(lexed.lexer(), listener ? *listener : lexerErrors);
        replaceErrorListeners(parser, listener ? *listener : parserErrors);
        parser.setErrorHandler(std::make_shared<QuotingErrorStrategy>());
    }

    // The tree, or std::runtime_error when the text had a syntax error.
    template <class Tree>
    Tree* clean(Tree* tree)
    {
        if (!lexerErrors.messages.empty() || !parserErrors.messages.empty())
            throw std::runtime_error("test text has syntax errors");
        return tree;
    }

    struct Loaded {
        explicit Loaded(const std::string& text) { Zarn::loadInputText(stream, text, "test"); }
        Zarn::InputText stream;
    };

    ErrorCollector lexerErrors;
    ErrorCollector parserErrors;
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

}  // namespace TestSupport
#endif
