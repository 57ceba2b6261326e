#include "zarn_tool_type_registry.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "zarn_builtin_tools.h"

using namespace Zarn;
using namespace TestSupport;

namespace {

// A matcher that tells which factory made it.
class NamedMatcher : public Matcher {
public:
    NamedMatcher(Util::CiString name, std::string maker) : Matcher(std::move(name), {}, {}, {}, {}), maker(std::move(maker)) {}
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<NamedMatcher>(*this); }
    std::shared_ptr<Builder> createBuilder(const TargetContext&) override { return nullptr; }
    std::string maker;
};

MatcherFactory factoryNamed(const std::string& maker)
{
    return [maker](Util::CiString name, KeySet, KeySet) { return std::make_unique<NamedMatcher>(std::move(name), maker); };
}

std::string makerOf(const std::string& type)
{
    std::unique_ptr<Matcher> matcher = createMatcher(type, "x", {}, {});
    auto* named = dynamic_cast<NamedMatcher*>(matcher.get());
    return named ? named->maker : "";
}

TEST(ToolTypeRegistryTest, TypesIgnoreCaseReplaceAndFallBack)
{
    initProgramStatics({+[] { registerToolFactory("test-toolchain", "NULL", factoryNamed("toolchain")); }});
    EXPECT_EQ(makerOf("TEST-TOOLCHAIN"), "toolchain") << "initializers run after the built-ins";
    std::unique_ptr<Matcher> command = createMatcher("COMMAND", "mine", {}, {});
    ASSERT_TRUE(dynamic_cast<BasicMatcher*>(command.get()));
    EXPECT_EQ(command->name.str(), "mine");

    registerToolFactory("test-replace", "NULL", factoryNamed("first"));
    registerToolFactory("TEST-REPLACE", "NULL", factoryNamed("second"));
    EXPECT_EQ(makerOf("test-replace"), "second");

    // An empty factory stands for its fallback type.
    registerToolFactory("test-fallback-user", "test-replace", MatcherFactory());
    EXPECT_EQ(makerOf("test-fallback-user"), "second");
    registerToolFactory("test-fallback-none", "test-unregistered", MatcherFactory());
    EXPECT_EQ(createMatcher("test-fallback-none", "x", {}, {}), nullptr);
}

}  // namespace
