// Random and mutated texts through the lexer, the parser and the visitor of
// every start rule: whatever the text, the result is a value or an error,
// never a crash, a hang or a leak (the sanitizer build checks the last two).
// ZARN_FUZZ_ITERATIONS raises the number of texts per rule for longer runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "antlr4-runtime.h"
#include "loader/assignment_text.h"
#include "loader/input_text.h"
#include "loader/project_data.h"
#include "loader/visit_support.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"
#include "types/zarn_dependency_list.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_string.h"

namespace {

enum class Rule { Unit, Project, Registry, Assignment };

const char* const unitSeeds[] = {
    "unit lib\nbuild(kind): +core(a.b, c) => c other/lib::x +> all @deps(., x) {\n"
    "  cflags = [\"-O2\", R\"(-g)\", P\"(inc/*.h)\"] ^out ?= \"${cflags}\"\n"
    "  if os = linux { libs += [m, \"dl\"] if debug { level = -3 } }\n"
    "  nested = { a = 1 b = x[1][2:3][y.z] }\n}\n",
    "t: { if level > 2 { a = 1 } if level < 1 { b = 2 } if kind != \"x\" { c } }\n"
    "u: t { /* comment */ x = 2147483647 // tail\n }",
    "a: {} b: a {} c: a b lib::a {}",
    "t(x, y): @deps @l(., p) {\n"
    "  l = [\"a\", \"b c\", { k = \"${x}\" }] deps = \"u::t(p, q.r) v\" p = \"#1 ${y}\"\n"
    "  s = \"-I#{l}/#{x}:#1#2 ${l[1]} ${c.k} ${s}\" c = { k = \"${c}\" j = l[0] } r = R\"(${r} #9)\"\n"
    "  if s = l { s += x } if c > l { c += \"${r}\" }\n}\n",
};

const char* const projectSeeds[] = {
    "name app\nimport { dev: \"../lib/.zarn_project.txt\" lib (release); other; rel: shared (dbg); }\n"
    "tools { gcc { tool_type = \"gnu-gcc\" !cc = P\"(bin/gcc)\" } }\n"
    "units { app { \"a/zarn.txt\" \"b/zarn.txt\" } APP { \"c.txt\" } lib { } }\n"
    "profiles { debug { opt = 0 if os = linux { x = [1, 2] } } release { opt = { a = 1 } } }\n",
    "units { main { \"zarn.txt\" } } profiles { p { if x = \"y\" { z = 1 } } }",
};

const char* const registrySeeds[] = {
    "projects { foo \"projects/foo/.zarn_project.txt\" bar \"/abs/bar\" }\n"
    "tools { gcc12 { tool_type = \"gnu-gcc\" !version = \"12\" path = P\"(/usr/bin)\" } }\n",
    "tools { c3 { tool_type = \"c3c\" if arch = x86 { !flags += [\"-O\"] } } }",
};

const char* const assignmentSeeds[] = {
    "a = 1",
    "^out = [x, \"y\", R\"(z)\", P\"(w)\", { q = 1 }]",
    "x ?= a.b[-1][0:2][c.d]",
    "list += [[1, [2]], []]",
};

// Pieces of the language and of broken text that mutations insert.
const std::string fragments[] = {
    "{", "}", "[", "]", "(", ")", "=", "+=", "?=", "!=", "<", ">", ":", "::", "=>", "+>", "@", "^", "!",
    ".", ",", ";", "/", "+", "if ", "unit ", "name ", "tools ", "units ", "profiles ", "projects ",
    "import ", "x", "Ab_c-d ", " -1", " 99999999999", " 18446744073709551616", "\"s\"", "\"${a}\"",
    "R\"(r)\"", "P\"(p/*)\"", "R\"(", "P\"(", "\"", "/*", "*/", "//", "\n", " ", "\t", "\xE9", "\xC3\xA9",
    "\xEF\xBB\xBF", "\xED\xA0\x80", std::string(1, '\0'), "[[[[", "{{{{", "}}}}", "]]]]",
    "t: {", "a = {", "if a = {} {", "@m(.)", "(.)",
};

class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : random(seed) {}

    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : random() % bound; }

    std::string fragment() { return fragments[below(std::size(fragments))]; }

    // A text made of language pieces, or (now and then) of raw bytes.
    std::string randomText()
    {
        std::string text;
        std::size_t pieces = below(40);
        bool bytes = below(8) == 0;
        for (std::size_t i = 0; i < pieces; ++i)
            text += bytes ? std::string(1, static_cast<char>(below(256))) : fragment();
        return text;
    }

    std::string mutate(std::string text)
    {
        std::size_t rounds = 1 + below(4);
        for (std::size_t round = 0; round < rounds; ++round) {
            std::size_t at = below(text.size() + 1);
            switch (below(5)) {
            case 0:
                text.insert(at, fragment());
                break;
            case 1:
                text.erase(at, below(8) + 1);
                break;
            case 2:
                if (!text.empty())
                    text[below(text.size())] = static_cast<char>(below(256));
                break;
            case 3: {
                std::size_t length = below(text.size() - at + 1);
                text.insert(below(text.size() + 1), text.substr(at, length));
                break;
            }
            default:
                text = text.substr(0, at) + text.substr(below(text.size() + 1));
                break;
            }
        }
        return text;
    }

private:
    std::mt19937 random;
};

// Swallows the console listener's lines and the evaluation's warnings while
// the fuzzer runs.
class QuietStderr {
public:
    QuietStderr() : saved(std::cerr.rdbuf(sink.rdbuf())), savedThreshold(logThreshold.exchange(LogLevel::Error + 1)) {}
    ~QuietStderr()
    {
        std::cerr.rdbuf(saved);
        logThreshold = savedThreshold;
    }

private:
    std::ostringstream sink;
    std::streambuf* saved;
    int savedThreshold;
};

struct Outcome {
    std::size_t seedsClean = 0;  // seeds that visited cleanly
    std::size_t texts = 0;
    std::size_t cleanVisits = 0;  // texts without syntax errors whose visit succeeded
};

// Everything the build does with a target's text: conditions, resolution,
// dependency macros and the stored forms. Errors are expected; crashes,
// hangs and leaks are not.
void evaluateTarget(const Zarn::Target& target)
{
    std::vector<Zarn::ZarnValuePtr> parameters;
    for (std::size_t i = 0; i < target.parameterNames.size(); ++i)
        parameters.push_back(Zarn::makeString(i % 2 ? "a::x b::y(p)" : "${x}"));
    Zarn::TargetContext context(target, target.name, parameters);
    Zarn::Context base(context);
    try {
        context.addImplicitContext(base, Zarn::Assignment::SetIfUnset, true, 1);
        context.evaluateConditions();
        context.resolveVariables();
        Zarn::createDependencyList(context);
    } catch (const std::exception&) {
    } catch (const Zarn::ZarnException&) {
    }
    for (const auto& [name, assignment] : context.variables) {
        if (!assignment.value)
            continue;
        assignment.value->deepClone();
        assignment.value->hasLiteralForm();
        assignment.toString();
    }
}

// Visits even trees with syntax errors: the visitor must refuse or read them,
// never crash on them.
void visitTree(Rule rule, ZarnTopParser& parser, bool& clean)
{
    switch (rule) {
    case Rule::Unit: {
        auto* tree = parser.unitFile();
        clean = clean && parser.getNumberOfSyntaxErrors() == 0;
        ZarnVisitorImpl visitor("/base", SourceKind::Unit);
        auto unit = Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(tree->zarnUnit()));
        for (auto& [name, target] : unit->targets)
            evaluateTarget(target);
        break;
    }
    case Rule::Project: {
        auto* tree = parser.projFile();
        clean = clean && parser.getNumberOfSyntaxErrors() == 0;
        ZarnVisitorImpl visitor("/base", SourceKind::Project);
        Zarn::takeResult<Zarn::ProjectData>(visitor.visitZarnProject(tree->zarnProject()));
        break;
    }
    case Rule::Registry: {
        auto* tree = parser.registryFile();
        clean = clean && parser.getNumberOfSyntaxErrors() == 0;
        ZarnVisitorImpl visitor("/base", SourceKind::Registry);
        Zarn::takeResult<ZarnRegData>(visitor.visitZarnRegistry(tree->zarnRegistry()));
        break;
    }
    case Rule::Assignment: {
        auto* tree = parser.assignment();
        clean = clean && parser.getNumberOfSyntaxErrors() == 0;
        ZarnVisitorImpl visitor("/base", SourceKind::Unit);
        Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(tree));
        break;
    }
    }
}

void runText(Rule rule, const std::string& text, Outcome& outcome)
{
    ++outcome.texts;
    bool clean = true;
    try {
        antlr4::ANTLRInputStream input;
        Zarn::loadInputText(input, text, "fuzz");
        CommonLexer lexer(&input);
        antlr4::CommonTokenStream tokens(&lexer);
        ZarnTopParser parser(&tokens);
        LoaderTest::QuietCounter counter;
        lexer.removeErrorListeners();
        lexer.addErrorListener(&counter);
        parser.removeErrorListeners();
        parser.addErrorListener(&counter);
        visitTree(rule, parser, clean);
        if (clean && counter.errors == 0)
            ++outcome.cleanVisits;
    } catch (const std::exception&) {
    } catch (const Zarn::ZarnException&) {
    }
    if (rule == Rule::Assignment) {
        try {
            parseAssignmentText(text, "/base");
        } catch (const std::exception&) {
        } catch (const Zarn::ZarnException&) {
        }
    }
}

std::size_t iterations()
{
    const char* configured = std::getenv("ZARN_FUZZ_ITERATIONS");
    if (configured != nullptr && std::atoi(configured) > 0)
        return static_cast<std::size_t>(std::atoi(configured));
    return 1000;
}

template <std::size_t N>
Outcome fuzzRule(Rule rule, const char* const (&seeds)[N], unsigned seed)
{
    QuietStderr quiet;
    Fuzzer fuzzer(seed);
    Outcome outcome;
    for (const char* text : seeds)
        runText(rule, text, outcome);
    outcome.seedsClean = outcome.cleanVisits;
    std::size_t count = iterations();
    for (std::size_t i = 0; i < count; ++i) {
        // Mostly mutated seeds (close to valid, so the visits go deep), some
        // random texts, some mutations of another rule's seeds.
        std::string text;
        switch (fuzzer.below(6)) {
        case 0:
            text = fuzzer.randomText();
            break;
        case 1:
            text = fuzzer.mutate(unitSeeds[fuzzer.below(std::size(unitSeeds))]);
            break;
        default:
            text = fuzzer.mutate(seeds[fuzzer.below(N)]);
            break;
        }
        runText(rule, text, outcome);
    }
    return outcome;
}

}  // namespace

TEST(VisitorFuzz, UnitFiles)
{
    auto outcome = fuzzRule(Rule::Unit, unitSeeds, 101);
    // The seeds themselves must visit cleanly, and so must a share of their
    // mutations, or the fuzzer only ever exercises the error paths.
    EXPECT_EQ(outcome.seedsClean, std::size(unitSeeds));
    EXPECT_GT(outcome.cleanVisits, outcome.texts / 50);
}

TEST(VisitorFuzz, ProjectFiles)
{
    auto outcome = fuzzRule(Rule::Project, projectSeeds, 202);
    EXPECT_EQ(outcome.seedsClean, std::size(projectSeeds));
    EXPECT_GT(outcome.cleanVisits, outcome.texts / 50);
}

TEST(VisitorFuzz, RegistryFiles)
{
    auto outcome = fuzzRule(Rule::Registry, registrySeeds, 303);
    EXPECT_EQ(outcome.seedsClean, std::size(registrySeeds));
    EXPECT_GT(outcome.cleanVisits, outcome.texts / 50);
}

TEST(VisitorFuzz, Assignments)
{
    auto outcome = fuzzRule(Rule::Assignment, assignmentSeeds, 404);
    EXPECT_EQ(outcome.seedsClean, std::size(assignmentSeeds));
    EXPECT_GT(outcome.cleanVisits, outcome.texts / 50);
}
