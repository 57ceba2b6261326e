// Random and mutated texts through the lexer, the parser and the visitor of
// every start rule: whatever the text, the result is a value or an error,
// never a crash, a hang or a leak (the sanitizer build checks the last two).
// ZARN_FUZZ_ITERATIONS raises the number of texts per rule for longer runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>

#include "loader/assignment_text.h"
#include "test_support.h"
#include "types/zarn_dependency_list.h"
#include "types/zarn_log.h"
#include "types/zarn_string.h"

namespace {

// The first three are also the visitor's kinds of text.
enum Rule { Unit = SourceKind::Unit, Project = SourceKind::Project, Registry = SourceKind::Registry, Assignment };

// Valid texts of each rule, in the order of Rule.
const std::vector<std::string> kSeeds[] = {
    {"unit lib\nbuild(kind): +core(a.b, c) => c other/lib::x +> all @deps(., x) {\n"
     "  cflags = [\"-O2\", R\"(-g)\", P\"(inc/*.h)\"] ^out ?= \"${cflags}\"\n"
     "  if os = linux { libs += [m, \"dl\"] if debug { level = -3 } } nested = { a = 1 b = x[1][2:3][y.z] }\n}\n",
     "t: { if level > 2 { a = 1 } if level < 1 { b = 2 } if kind != \"x\" { c } }\n"
     "u: t { /* comment */ x = 2147483647 // tail\n } a: {} b: a {} c: a b lib::a {}",
     "t(x, y): @deps @l(., p) {\n  l = [\"a\", \"b c\", { k = \"${x}\" }] deps = \"u::t(p, q.r) v\" p = \"#1 ${y}\"\n"
     "  s = \"-I#{l}/#{x}:#1#2 ${l[1]} ${c.k} ${s}\" c = { k = \"${c}\" j = l[0] } r = R\"(${r} #9)\"\n"
     "  if s = l { s += x } if c > l { c += \"${r}\" }\n}\n"},
    {"name app\nimport { dev: \"../lib/.zarn_project.txt\" lib (release); other; rel: shared (dbg); }\n"
     "tools { gcc { tool_type = \"gnu-gcc\" !cc = P\"(bin/gcc)\" } }\n"
     "units { app { \"a/zarn.txt\" \"b/zarn.txt\" } APP { \"c.txt\" } lib { } }\n"
     "profiles { debug { opt = 0 if os = linux { x = [1, 2] } } release { opt = { a = 1 } } }\n",
     "units { main { \"zarn.txt\" } } profiles { p { if x = \"y\" { z = 1 } } }"},
    {"projects { foo \"projects/foo/.zarn_project.txt\" bar \"/abs/bar\" }\n"
     "tools { gcc12 { tool_type = \"gnu-gcc\" !version = \"12\" path = P\"(/usr/bin)\" } }\n",
     "tools { c3 { tool_type = \"c3c\" if arch = x86 { !flags += [\"-O\"] } } }"},
    {"a = 1", "^out = [x, \"y\", R\"(z)\", P\"(w)\", { q = 1 }]", "x ?= a.b[-1][0:2][c.d]", "list += [[1, [2]], []]"},
};

// Pieces of the language and of broken text that mutations insert.
const std::vector<std::string> kFragments = {
    "{", "}", "[", "]", "(", ")", "=", "+=", "?=", "!=", "<", ">", ":", "::", "=>", "+>", "@", "^", "!", ".", ",",
    ";", "/", "+", "if ", "unit ", "name ", "tools ", "units ", "profiles ", "projects ", "import ", "x", "Ab_c-d ",
    " -1", " 99999999999", " 18446744073709551616", "\"s\"", "\"${a}\"", "R\"(r)\"", "P\"(p/*)\"", "R\"(", "P\"(",
    "\"", "/*", "*/", "//", "\n", " ", "\t", "\xE9", "\xC3\xA9", "\xEF\xBB\xBF", "\xED\xA0\x80",
    std::string(1, '\0'), "[[[[", "{{{{", "}}}}", "]]]]", "t: {", "a = {", "if a = {} {", "@m(.)", "(.)"};

struct Fuzzer {
    std::mt19937 random;

    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : random() % bound; }
    const std::string& fragment() { return kFragments[below(kFragments.size())]; }

    // Inserts, erases, overwrites, duplicates or cuts out pieces of the text.
    std::string mutate(std::string text, std::size_t rounds)
    {
        for (; rounds > 0; --rounds) {
            const std::size_t op = below(5), at = below(text.size() + 1);
            if (op == 0)
                text.insert(at, fragment());
            else if (op == 1)
                text.erase(at, below(8) + 1);
            else if (op == 2 && !text.empty())
                text[below(text.size())] = static_cast<char>(below(256));
            else if (op == 3)
                text.insert(below(text.size() + 1), text.substr(at, below(text.size() - at + 1)));
            else
                text = text.substr(0, at) + text.substr(below(text.size() + 1));
        }
        return text;
    }
};

// Runs the action; the language's errors are expected, nothing else is.
template <class Action>
bool succeeds(Action action)
{
    try {
        action();
        return true;
    } catch (const std::exception&) {
    } catch (const Zarn::ZarnException&) {
    }
    return false;
}

// Everything the build does with a target's text: conditions, resolution,
// dependency macros and the stored forms.
void evaluateTarget(const Zarn::Target& target)
{
    std::vector<Zarn::ZarnValuePtr> parameters;
    for (std::size_t i = 0; i < target.parameterNames.size(); ++i)
        parameters.push_back(Zarn::makeString(i % 2 ? "a::x b::y(p)" : "${x}"));
    Zarn::TargetContext context(target, target.name, parameters);
    Zarn::Context base(context);
    succeeds([&] {
        context.addImplicitContext(base, Zarn::Assignment::SetIfUnset, true, 1);
        context.evaluateConditions();
        context.resolveVariables();
        Zarn::createDependencyList(context);
    });
    for (const auto& [name, assignment] : context.variables) {
        if (assignment.value) {
            assignment.value->deepClone();
            assignment.value->hasLiteralForm();
            assignment.toString();
        }
    }
}

// Visits even trees with syntax errors: the visitor must refuse or read them.
// True when the text had no syntax error and the visit succeeded.
bool visitText(Rule rule, const std::string& text)
{
    if (rule == Assignment)
        succeeds([&] { parseAssignmentText(text, "/base"); });
    bool clean = false;
    succeeds([&] {
        TestSupport::Parsed parsed(text);
        ZarnTopParser& parser = parsed.parser;
        ZarnVisitorImpl visitor("/base", rule == Assignment ? Unit : rule);
        if (rule == Unit) {
            auto unit = Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(parser.unitFile()->zarnUnit()));
            for (const auto& [name, target] : unit->targets)
                evaluateTarget(target);
        } else if (rule == Project) {
            Zarn::takeResult<Zarn::ProjectData>(visitor.visitZarnProject(parser.projFile()->zarnProject()));
        } else if (rule == Registry) {
            Zarn::takeResult<ZarnRegData>(visitor.visitZarnRegistry(parser.registryFile()->zarnRegistry()));
        } else {
            Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(parser.assignment()));
        }
        clean = parsed.lexerErrors.messages.empty() && parsed.parserErrors.messages.empty();
    });
    return clean;
}

// Swallows the console listener's lines and the evaluation's log lines.
struct Quiet {
    std::ostringstream sink;
    std::streambuf* savedCerr = std::cerr.rdbuf(sink.rdbuf());
    int savedThreshold = logThreshold.exchange(LogLevel::Error + 1);
    ~Quiet()
    {
        std::cerr.rdbuf(savedCerr);
        logThreshold = savedThreshold;
    }
};

class VisitorFuzz : public ::testing::TestWithParam<Rule> { };

TEST_P(VisitorFuzz, SurvivesRandomAndMutatedTexts)
{
    const Rule rule = GetParam();
    const std::vector<std::string>& seeds = kSeeds[rule];
    const std::size_t count = TestSupport::fuzzIterations(1000);
    Quiet quiet;
    Fuzzer fuzzer {std::mt19937(101 * (rule + 1))};
    std::size_t seedsClean = 0, clean = 0;
    for (const std::string& text : seeds)
        seedsClean += visitText(rule, text);
    for (std::size_t i = 0; i < count; ++i) {
        // Mostly mutated seeds (close to valid, so the visits go deep), some
        // texts built from nothing, some mutations of unit seeds.
        const std::size_t pick = fuzzer.below(6);
        const std::vector<std::string>& from = pick == 1 ? kSeeds[Unit] : seeds;
        clean += visitText(rule, pick == 0 ? fuzzer.mutate("", 1 + fuzzer.below(20))
                                           : fuzzer.mutate(from[fuzzer.below(from.size())], 1 + fuzzer.below(4)));
    }
    // The seeds themselves must visit cleanly, and so must a share of their
    // mutations, or the fuzzer only ever exercises the error paths.
    EXPECT_EQ(seedsClean, seeds.size());
    EXPECT_GT(clean, count / 50);
}

const char* const kRuleNames[] = {"UnitFiles", "ProjectFiles", "RegistryFiles", "Assignments"};

INSTANTIATE_TEST_SUITE_P(Rules, VisitorFuzz, ::testing::Values(Unit, Project, Registry, Assignment),
                         [](const ::testing::TestParamInfo<Rule>& info) { return kRuleNames[info.param]; });

}  // namespace
