// --find-compilers on the driver's side: storing definitions in the registry
// and rewriting it, with fake definitions in place of a real search.
#include <gtest/gtest.h>

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
