// --find-compilers on the driver's side: storing definitions in the registry
// and rewriting it, with fake definitions in place of a real search.
#include <gtest/gtest.h>

#include <tuple>

#include "test_support.h"
#include "zarn_app.h"
#include "zarn_registry.h"

namespace {

using namespace TestSupport;
namespace fs = std::filesystem;
using Definitions = std::vector<std::shared_ptr<Zarn::ContextTemplate>>;

std::shared_ptr<Zarn::ContextTemplate> definition(const std::vector<Zarn::Assignment>& assignments)
{
    return std::make_shared<Zarn::ContextTemplate>(assignments);
}

std::shared_ptr<Zarn::ContextTemplate> named(const std::string& name, const std::string& version)
{
    return definition({set("toolchain_name", str(name)), set("tool_type", str("gnu-gcc")),
                       set("toolchain_version", str(version))});
}

// "name: a=v b=w" per tool, in the registry's order.
std::string toolsOf(const ZarnRegistry& registry)
{
    std::string text;
    for (const auto& [name, tool] : registry.tools) {
        text += name.str() + ":";
        for (const auto& assignment : tool->assignments)
            text += " " + assignment.name + "=" + (assignment.value ? assignment.value->toString() : "");
        text += "\n";
    }
    return text;
}

TEST(StoreToolDefinitionsTest, StoresUnderTheNameAndReplacesWithoutRegardToCase)
{
    ZarnRegistry registry("unused");
    registry.tools["DEFAULT_GNU_12_X86_64"] = definition({set("tool_type", str("old"))});
    registry.tools["mine"] = definition({set("tool_type", str("command"))});
    storeToolDefinitions(registry, {named("default_gnu_12_x86_64", "12"), named("default_gnu_0_arm", "0"),
                                    named("default_gnu_0_arm", "0.1")});
    EXPECT_EQ(toolsOf(registry),
              "default_gnu_0_arm: tool_type=gnu-gcc toolchain_version=0.1\n"
              "DEFAULT_GNU_12_X86_64: tool_type=gnu-gcc toolchain_version=12\n"
              "mine: tool_type=command\n");
}

TEST(StoreToolDefinitionsTest, RefusesABadDefinitionBeforeChangingAnything)
{
    const std::vector<std::pair<Definitions, std::string>> cases = {
        {{named("a", "1"), nullptr}, "Zarn: Build tool context is null."},
        {{named("a", "1"), definition({set("toolchain_name", str("x")), set("TOOLCHAIN_NAME", str("y"))})},
         "Zarn: Build tool context has multiple 'name' assignments."},
        {{named("a", "1"), definition({set("toolchain_name", nullptr)})},
         "Zarn: value of variable 'toolchain_name' not found."},
        {{named("a", "1"), definition({set("tool_type", str("gnu-gcc"))})},
         "Zarn: variable 'toolchain_name' not found."},
    };
    for (const auto& [definitions, error] : cases) {
        ZarnRegistry registry("unused");
        EXPECT_EQ(errorOf([&] { storeToolDefinitions(registry, definitions); }), error);
        EXPECT_TRUE(registry.tools.empty()) << error;
    }
}

// A found toolchain whose directory text is given as the value.
std::shared_ptr<Zarn::ContextTemplate> foundAt(const std::string& name, Zarn::ZarnValuePtr directory)
{
    return definition({set("toolchain_name", str(name)), set("tool_type", str("gnu-gcc")),
                       set("toolchain_path", std::move(directory))});
}

TEST(ToolWriteProblemTest, NamesTextsThatWouldNotReadBack)
{
    const std::vector<std::tuple<std::string, Zarn::ZarnValuePtr, std::string>> cases = {
        {"raw with a quote", raw("/opt/a\"b/bin"), ""},
        {"raw ending in a parenthesis", raw("/opt/x)"), ""},
        {"raw holding the closer", raw("/opt/x)\"y"),
         "the text of 'toolchain_path' cannot be written so that it reads back"},
        {"plain with a quote", str("/opt/a\"b/bin"),
         "in tool 'default_gnu_1_x', 'toolchain_path = R\"(/opt/a\"b/bin)\"' does not read back as written"},
    };
    ZarnRegistry registry("unused");
    for (const auto& [what, directory, problem] : cases) {
        const auto found = foundAt("default_gnu_1_x", directory);
        found->assignments.erase(found->assignments.begin());
        EXPECT_EQ(registry.toolWriteProblem("default_gnu_1_x", found), problem) << what;
    }
    EXPECT_TRUE(registry.tools.empty());
}

TEST(StoreToolDefinitionsTest, LeavesOutWhatTheFileCannotHoldAndStoresTheRest)
{
    ZarnRegistry registry("unused");
    const std::string log = captureLog(6, [&] {
        storeToolDefinitions(registry, {foundAt("default_gnu_12_x86_64", str("/usr/bin")),
                                        foundAt("default_gnu_12_x86_64", raw("/opt/q)\"#/bin")),
                                        foundAt("default_gnu_9_x86_64", raw("/opt/issue#12/bin"))});
    });
    EXPECT_EQ(log, "Tool 'default_gnu_12_x86_64' left out of the registry: the text of 'toolchain_path' cannot be "
                   "written so that it reads back.\n");
    // The one left out replaces nothing.
    EXPECT_EQ(toolsOf(registry), "default_gnu_12_x86_64: tool_type=gnu-gcc toolchain_path=/usr/bin\n"
                                 "default_gnu_9_x86_64: tool_type=gnu-gcc toolchain_path=/opt/issue#12/bin\n");
}

class FindCompilersStepTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    ZarnApplication app;
    int searches = 0;

    void prepare(Definitions found)
    {
        app.findDefaultToolchains = [this, found] {
            ++searches;
            return found;
        };
        captureLog(8, [&] { app.LoadRegistry(); });
    }
};

TEST_F(FindCompilersStepTest, FindingNothingStillRewritesTheFile)
{
    prepare({});
    captureLog(8, [&] { app.FindCompilers(); });
    EXPECT_EQ(searches, 1);
    EXPECT_TRUE(fs::exists(sandbox.registryFile()));
    EXPECT_TRUE(app.registry->tools.empty());
}

TEST_F(FindCompilersStepTest, FailsWithoutAUsableRegistry)
{
    // An unreadable registry is never overwritten.
    fs::create_directories(sandbox.registryFile());
    prepare({named("default_gnu_1_x", "1")});
    EXPECT_EQ(quietErrorOf([&] { app.FindCompilers(); }).rfind("std: Registry file '", 0), 0u);
    EXPECT_TRUE(fs::is_directory(sandbox.registryFile()));
}

}  // namespace
