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

// A target that says what it makes is built by the tool that makes it,
// whatever compiler and linker variables it has, its own or inherited; what
// it declares itself before what it inherits; a driver it names itself links
// what ld would; its own sources, never inherited ones, need gcc or g++.
TEST(GnuMatcher, DeclaredProductChoosesTheTool)
{
    const std::vector<Assignment> profile{set("C_FLAGS", str("-O2")),  set("C_DEFINES", str("NDEBUG")),
                                          set("INCLUDE", str("inc")),  set("LIB", str("-lm")),
                                          set("LIBPATH", str("libs")), set("LINK_FLAGS", str("-s"))};
    // The target's own variables and OBJS, then what it inherits: the
    // profile's flags and `more`.
    auto inheriting = [&](std::vector<Assignment> own, std::vector<Assignment> more = {}) {
        own.push_back(set("OBJS", str("a.o")));
        auto target = targetWith(own);
        more.insert(more.end(), profile.begin(), profile.end());
        for (const Assignment& assignment : more)
            if (!hasVariable(*target, assignment.name)) {
                target->addAssignment(assignment, 1);
                target->inheritedNames.insert(Util::CiString(assignment.name));
            }
        return target;
    };
    // The target's own variables, of which a profile then declares `bare`
    // without a value.
    auto landedBare = [&](std::vector<Assignment> own, const char* bare) {
        auto target = inheriting(std::move(own));
        target->addAssignment(declared(bare), 0);
        target->inheritedBareNames.insert(Util::CiString(bare));
        return target;
    };
    auto mixed = [](const char* sources, Assignment kind) {
        return targetWith({set(sources, str("a.c")), set("C_FLAGS", str("-fPIC -shared")), set("OBJS", str("b.o")),
                           kind});
    };
    const struct { std::shared_ptr<TargetContext> target; std::string tool; } cases[] = {
        {inheriting({set("SO", integer(1))}), "ld"},
        {inheriting({declared("KO")}), "ld"},
        {inheriting({declared("STATIC")}), "ar"},
        {inheriting({set("OUTPUT_NAME", str("libgreet.a"))}), "ar"},
        {inheriting({declared("SHARED"), set("OUTPUT_NAME", str("libgreet.so"))}), "ld"},
        {inheriting({declared("SO"), set("LIB", str("-lm")), set("LINK_FLAGS", str("-z defs"))}), "ld"},
        {inheriting({declared("SO"), set("C_FLAGS", str("-shared"))}), "ld"},
        // Its own flags, which score for gcc, choose nothing either.
        {targetWith({set("OBJS", str("a.o")), declared("SO"), set("C_FLAGS", str("-O2")),
                     set("C_DEFINES", str("X"))}),
         "ld"},
        {targetWith({set("OBJS", str("a.o")), set("SO", str("1")), set("C_FLAGS", str("-fPIC"))}), "ld"},
        // No driver makes an archive.
        {inheriting({declared("STATIC"), declared("GPP")}), "ar"},
        // What it declares itself beats what it inherits; an inherited
        // declaration counts where it declares nothing itself.
        {inheriting({declared("SO"), set("OUTPUT_NAME", str("libx.so"))}, {declared("STATIC")}), "ld"},
        {inheriting({declared("STATIC")}, {declared("SO")}), "ar"},
        {inheriting({}, {declared("SO")}), "ld"},
        {inheriting({}, {set("OUTPUT_NAME", str("libx.a"))}), "ar"},
        // A driver a profile names links nothing.
        {inheriting({declared("SO")}, {declared("GPP")}), "ld"},
        {inheriting({declared("SO")}, {declared("GCC"), declared("EXE")}), "ld"},
        // Inherited sources, even some, leave the choice to the product.
        {inheriting({declared("SO")}, {set("C_FILES", str("a.c"))}), "ld"},
        {inheriting({declared("STATIC")}, {set("CPP_FILES", list({}))}), "ar"},
        // Nothing declared: the scores decide.
        {inheriting({set("OUTPUT_NAME", str("libgreet.so"))}), "gcc"},
        {inheriting({set("STATIC", integer(1))}), "gcc"},
        {inheriting({output("SO", str("x.so"))}), "gcc"},
        {inheriting({output("OUTPUT_NAME", str("libx.a"))}), "gcc"},
        // A driver the target names itself links what ld would, whatever
        // driver a profile names; g++ before gcc.
        {inheriting({declared("SO"), declared("GPP"), set("C_FLAGS", str("-shared")),
                     set("OUTPUT_NAME", str("libshapes.so"))}),
         "g++"},
        {inheriting({declared("SO"), declared("GPP"), set("C_FLAGS", str("-shared"))}, {declared("GCC")}), "g++"},
        {inheriting({declared("SO"), declared("GCC")}, {declared("GPP")}), "gcc"},
        {inheriting({declared("SHARED"), declared("EXE")}), "gcc"},
        {inheriting({declared("SO"), declared("GCC"), declared("GPP")}), "g++"},
        {inheriting({declared("KO"), declared("GPP"), set("LINK_FLAGS", str("-z defs"))}), "g++"},
        // Only a bare one names a driver, and only the target's own: its
        // GPP = 1 that a profile makes bare leaves the link to its own GCC.
        {inheriting({declared("SO"), set("GPP", integer(1))}), "ld"},
        {landedBare({declared("SO"), declared("GCC"), set("GPP", integer(1))}, "GPP"), "gcc"},
        // Sources of its own, which ar and ld would leave out.
        {targetWith({set("C_FILES", str("a.c")), declared("SO")}), "gcc"},
        // A bare one takes the sources a dependency hands on.
        {targetWith({declared("C_FILES"), set("OBJS", str("b.o")), set("C_FLAGS", str("-shared")), declared("SO")}),
         "gcc"},
        {mixed("C_FILES", declared("KO")), "gcc"},
        {mixed("CPP_FILES", declared("SO")), "g++"},
        {mixed("CPP_FILES", declared("SHARED")), "g++"},
    };
    auto gnu = matcher();
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto builder = gnu->createBuilder(*cases[i].target);
        EXPECT_EQ(builder ? builder->getName() : "", cases[i].tool) << "case " << i;
    }
}

}  // namespace
