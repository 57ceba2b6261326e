#include "zarn_dependency_outputs.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace TestSupport;

namespace {

const std::string collisionTail = " Names are case-insensitive; this may make dependency output ambiguous.\n";

Zarn::Dependency dependency(uint32_t aliasKind = 0, const std::string& alias = "")
{
    Zarn::Dependency result;
    result.aliasKind = aliasKind;
    result.alias = alias;
    return result;
}

class DependencyOutputsTest : public ::testing::Test {
protected:
    DependencyOutputsTest()
        : consumer(Zarn::QualifiedTargetName("p", "app", "main"), ""), store(consumer, consumer.name)
    {
    }

    std::string run(const std::function<void()>& action) { return captureLog(LogLevel::Trace, action); }
    std::string merge(const std::string& alias, Zarn::QualifiedTargetName name, Zarn::ZarnValuePtr value)
    {
        return run([&] { store.addMergedAliasOutput(dependency(2, alias), name, contextWith({set("o", value)})); });
    }

    Zarn::TargetContext consumer;
    Zarn::DependencyOutputStore store;
};

TEST_F(DependencyOutputsTest, CollisionWarnings)
{
    consumer.addAssignment(set("Gen", str("mine")));
    consumer.addAssignment(set("lib", block({set("gen", str("earlier"))})));
    consumer.addAssignment(set("tools", str("plain")));
    consumer.addAssignment(set("docs", block({set("other", str("x"))})));
    struct Case {
        Zarn::QualifiedTargetName dependency;
        std::string warning;
    };
    const Case cases[] = {
        {{"p", "app", "gen"}, "Dependency output 'gen' collides with an existing context variable."},
        {{"p", "lib", "GEN"}, "Dependency output 'lib::GEN' collides with an existing dependency output."},
        {{"p", "tools", "gen"}, "Dependency output 'tools::gen' collides with existing context variable 'tools'."},
        // a context value without that target, or no variable at all: no warning
        {{"p", "docs", "gen"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, c.dependency, ""); }),
                  c.warning.empty() ? "" : c.warning + collisionTail)
            << c.dependency.toString();

    // Warned, then the append operator decides: a string takes no context value.
    std::string message;
    const std::string out = run([&] {
        message = messageOf(
            [&] { store.createDependencyContext(dependency(), {"p", "tools", "gen"}, contextWith({})); });
    });
    EXPECT_EQ(out, cases[2].warning + collisionTail);
    EXPECT_EQ(message, "Target 'app::main' cannot take the outputs of dependency 'tools::gen' as its variable "
                       "'tools', which holds another kind of value; give the dependency an alias with '=>'.");
}

// A "+>" alias named like a variable holding a number: the same plain error.
TEST_F(DependencyOutputsTest, MergedAliasMeetingAnotherKindOfValue)
{
    consumer.addAssignment(set("both", std::make_shared<Zarn::ZarnInt>(5)));
    std::string message;
    const std::string out = run([&] {
        message = messageOf([&] {
            store.addMergedAliasOutput(dependency(2, "both"), {"p", "app", "x"}, contextWith({set("o", str("x.o"))}));
        });
    });
    EXPECT_NE(out.find("collides with an existing context variable."), std::string::npos) << out;
    EXPECT_EQ(message, "Target 'app::main' cannot take the outputs of dependency 'app::x' as its variable "
                       "'both', which holds another kind of value; give the dependency another alias.");
}

// An identifier value cannot be appended to: the merge fails, and so does its
// second try, whose error then propagates.
TEST_F(DependencyOutputsTest, FailedMergesAreTriedAgain)
{
    merge("objs", {"p", "app", "a"}, std::make_shared<Zarn::ZarnIdentifier>(Zarn::Identifier{}));
    merge("objs", {"p", "app", "b"}, str("a.o"));
    const std::string out = captureLog(LogLevel::Debug, [&] {
        EXPECT_THROW(store.appendMergedOutput(), Zarn::BadOperation);
    });
    EXPECT_NE(out.find("Second try adding merged dependency output append \"a.o\".\n"), std::string::npos) << out;
}

}  // namespace
