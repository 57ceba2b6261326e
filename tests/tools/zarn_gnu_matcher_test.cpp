#include "tools/zarn_gnu_matcher.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/zarn_gnu_compile_tools.h"
#include "tools/zarn_gnu_link_tools.h"
#include "zarn_tool_type_registry.h"

namespace {

using namespace TestSupport;
using namespace Zarn;

Assignment declared(const std::string& name) { return Assignment(name, nullptr, Assignment::Declare); }

// A toolchain of gcc 12.2.0 for x86_64-linux-gnu, with or without objcopy.
std::unique_ptr<GNUMatcher> matcher(const KeySet& wants = {}, bool withObjcopy = true)
{
    auto gnu = std::make_unique<GNUMatcher>("gnu", gnuWantKeys(), gnuVariableKeys(), wants, KeySet());
    CompilerRecord& compiler = gnu->compiler;
    compiler.version = "12.2.0";
    compiler.prefix = "x86_64-linux-gnu";
    compiler.arch = "x86_64";
    compiler.os = "linux";
    compiler.abi = "gnu";
    compiler.binDir = "/tc/bin";
    gnu->tools.push_back(std::make_shared<GNU_GCC>(gccMatchSubjects(), gccVariableSchema(), compiler, "/tc/bin/gcc"));
    gnu->tools.push_back(std::make_shared<GNU_GPP>(gppMatchSubjects(), gppVariableSchema(), compiler, "/tc/bin/g++"));
    gnu->tools.push_back(std::make_shared<GNU_AR>(arMatchSubjects(), arVariableSchema(), compiler, "/tc/bin/ar"));
    gnu->tools.push_back(std::make_shared<GNU_LD>(ldMatchSubjects(), ldVariableSchema(), compiler, "/tc/bin/ld"));
    if (withObjcopy)
        gnu->tools.push_back(std::make_shared<GNU_OBJCOPY>(objcopyMatchSubjects(), objcopyVariableSchema(), compiler,
                                                           "/tc/bin/objcopy"));
    return gnu;
}

KeySet wantsOf(const std::vector<Assignment>& assignments)
{
    KeySet wants;
    for (const Assignment& assignment : assignments)
        wants.emplace(assignment.name, assignment);
    return wants;
}

TEST(GnuMatcher, TargetMustFitTheToolchain)
{
    const struct { std::vector<Assignment> target; std::vector<Assignment> wants; int status; } cases[] = {
        {{}, {}, 1},
        {{set("ARCH", str(""))}, {}, 1},
        {{set("ARCH", str("X86_64"))}, {}, 1},
        {{set("ARCH", str("arm"))}, {}, 0},
        {{set("TOOLCHAIN_TRIPLET", str("X86_64-Linux-GNU"))}, {}, 1},
        {{set("TOOLCHAIN_TRIPLET", str("arm-none-eabi"))}, {}, 0},
        // Declared without value: no triplet is asked for.
        {{declared("TOOLCHAIN_TRIPLET")}, {}, 1},
        {{set("toolchain_version", list({str("11.4.0"), str("12.2.0")}))}, {}, 1},
        {{set("toolchain_version", str("12"))}, {}, 0},
        {{declared("toolchain_version")}, {}, 0},
        {{set("toolchain_min_version", str("0"))}, {}, 1},
        {{set("toolchain_min_version", str(""))}, {}, 1},
        {{set("toolchain_min_version", str("12.3"))}, {}, 0},
        // A wanted version "0" is any version, as discovery writes it.
        {{}, {set("toolchain_version", str("0"))}, 1},
        {{}, {set("toolchain_version", str("11.4.0"))}, 0},
        {{}, {declared("toolchain_version")}, 1},
        {{}, {set("toolchain_min_version", str("13"))}, 0},
        {{}, {set("toolchain_min_version", str("12.2"))}, 1},
    };
    for (const auto& c : cases) {
        std::vector<Assignment> variables = c.target;
        variables.push_back(set("C_FILES", str("a.c")));
        const MatchResult result = matcher(wantsOf(c.wants))->match(*targetWith(variables));
        EXPECT_EQ(result.status, c.status) << variables[0].toString() << " wants " << c.wants.size();
        if (c.status == 0) {
            EXPECT_TRUE(result.kinds.empty());
        }
    }
}

TEST(GnuMatcher, BestToolByScore)
{
    const struct { std::vector<Assignment> target; std::string tool; } cases[] = {
        {{set("OBJS", str("a.o"))}, "gcc"},
        {{set("C_FILES", str("a.c"))}, "gcc"},
        {{set("CPP_FILES", str("a.cpp"))}, "g++"},
        {{set("OBJS", str("a.o")), set("OUTPUT_NAME", str("libx.a"))}, "ar"},
        {{set("OBJS", str("a.o")), set("OUTPUT_NAME", str("libx.A"))}, "ar"},
        {{set("OBJS", str("a.o")), set("SO", integer(1))}, "ld"},
        {{set("OBJS", str("a.o")), set("STATIC", integer(1))}, "gcc"},
        {{set("OBJS", str("a.o")), declared("STATIC")}, "ar"},
        // A schema name the target has only as output adds nothing.
        {{set("OBJS", str("a.o")), output("SO", str("x.so"))}, "gcc"},
        {{set("INPUT", str("app"))}, "objcopy"},
        {{set("LIB", str("-lm"))}, ""},
    };
    auto gnu = matcher();
    for (const auto& c : cases) {
        auto builder = gnu->createBuilder(*targetWith(c.target));
        EXPECT_EQ(builder ? builder->getName() : "", c.tool) << c.target.back().toString();
    }
    // What match reports comes from the first tool that can build.
    EXPECT_EQ(kindsOf(gnu->match(*targetWith({set("OBJS", str("a.o")), set("SO", integer(1))}))), "OBJS:1/1 SO:0/0");
    // Without objcopy nothing converts.
    EXPECT_EQ(matcher({}, false)->createBuilder(*targetWith({set("INPUT", str("app"))})), nullptr);
    EXPECT_EQ(matcher({}, false)->match(*targetWith({set("INPUT", str("app"))})).status, 0);
}

// A target that says what it makes is built by the tool that makes it, even
// when inherited compiler and linker variables score higher for gcc.
TEST(GnuMatcher, DeclaredProductChoosesTheTool)
{
    const std::vector<Assignment> inherited{set("C_FLAGS", str("-O2")),      set("C_DEFINES", str("NDEBUG")),
                                            set("INCLUDE", str("inc")),      set("LIB", str("-lm")),
                                            set("LIBPATH", str("libs")),     set("LINK_FLAGS", str("-s")),
                                            set("OBJS", str("a.o"))};
    const struct { Assignment kind; std::string tool; } cases[] = {
        {declared("SO"), "ld"},
        {set("SO", integer(1)), "ld"},
        {declared("SHARED"), "ld"},
        {declared("KO"), "ld"},
        {declared("STATIC"), "ar"},
        {set("OUTPUT_NAME", str("libgreet.a")), "ar"},
        // Nothing declared: the scores decide, as before.
        {set("OUTPUT_NAME", str("libgreet.so")), "gcc"},
        {set("STATIC", integer(1)), "gcc"},
        {output("SO", str("x.so")), "gcc"},
        {output("OUTPUT_NAME", str("libx.a")), "gcc"},
    };
    auto gnu = matcher();
    for (const auto& c : cases) {
        std::vector<Assignment> target = inherited;
        target.push_back(c.kind);
        auto builder = gnu->createBuilder(*targetWith(target));
        EXPECT_EQ(builder ? builder->getName() : "", c.tool) << c.kind.toString();
    }
    // A declared product that its tool cannot make from what the target has
    // (sources, no objects) leaves the choice to the tools that can.
    auto builder = gnu->createBuilder(*targetWith({set("C_FILES", str("a.c")), declared("SO")}));
    EXPECT_EQ(builder ? builder->getName() : "", "gcc");
    // Sources of its own beside objects: ld would leave them out, so the
    // scores decide.
    for (const char* sources : {"C_FILES", "CPP_FILES"}) {
        for (const Assignment& kind : {declared("SO"), declared("SHARED"), declared("KO")}) {
            std::vector<Assignment> target = {set(sources, str("a.c")), set("C_FLAGS", str("-fPIC -shared")),
                                              set("OBJS", str("b.o")), kind};
            auto chosen = gnu->createBuilder(*targetWith(target));
            EXPECT_EQ(chosen ? chosen->getName() : "", std::string(sources) == "C_FILES" ? "gcc" : "g++")
                << sources << " " << kind.toString();
        }
    }
}

}  // namespace
