#include "zarn_dependency_outputs.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace TestSupport;

namespace {

const std::string collisionTail = " Names are case-insensitive; this may make dependency output ambiguous.\n";

Zarn::ContextPtr outputsWith(const std::vector<Zarn::Assignment>& assignments)
{
    auto outputs = std::make_shared<Zarn::Context>();
    for (const Zarn::Assignment& assignment : assignments)
        outputs->addAssignment(assignment, 0);
    return outputs;
}

Zarn::Dependency dependency(uint32_t aliasKind = 0, const std::string& alias = "")
{
    Zarn::Dependency result;
    result.aliasKind = aliasKind;
    result.alias = alias;
    return result;
}

// The text of a dotted variable of the consumer, looked up through the
// nested context values.
std::string dotted(const Zarn::Context& context, const std::vector<std::string>& names)
{
    const Zarn::Context* current = &context;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        auto value = std::dynamic_pointer_cast<Zarn::ZarnContext>(Zarn::getVariable(*current, names[i]));
        if (!value)
            return "<not a context: " + names[i] + ">";
        current = value->getContext().get();
    }
    return textOf(*current, names.back());
}

class DependencyOutputsTest : public ::testing::Test {
protected:
    DependencyOutputsTest()
        : consumer(Zarn::QualifiedTargetName("p", "app", "main"), ""), store(consumer, consumer.name)
    {
    }

    std::string run(const std::function<void()>& action) { return captureLog(LogLevel::Trace, action); }
    std::string add(const Zarn::Dependency& dependency, Zarn::QualifiedTargetName name, const std::string& out)
    {
        return run([&] { store.createDependencyContext(dependency, name, outputsWith({set("out", str(out))})); });
    }
    std::string merge(const std::string& alias, Zarn::QualifiedTargetName name, Zarn::ZarnValuePtr value)
    {
        return run([&] { store.addMergedAliasOutput(dependency(2, alias), name, outputsWith({set("o", value)})); });
    }

    Zarn::TargetContext consumer;
    Zarn::DependencyOutputStore store;
};

TEST_F(DependencyOutputsTest, OutputsAppearUnderTheTargetTheUnitOrTheAlias)
{
    consumer.addAssignment(set("libs", block({set("first", str("1"))})));
    EXPECT_EQ(add(dependency(), {"P", "APP", "gen"}, "g.txt"), "");
    EXPECT_EQ(add(dependency(), {"p", "lib", "gen"}, "l.txt"), "");
    EXPECT_EQ(add(dependency(), {"p", "lib", "doc"}, "d.txt"), "");
    EXPECT_EQ(add(dependency(), {"other", "app", "x"}, "o.txt"), "");
    EXPECT_EQ(add(dependency(1, "libs"), {"p", "lib", "gen"}, "a.txt"),
              "Dependency output alias 'libs' collides with an existing context variable." + collisionTail);

    EXPECT_EQ(dotted(consumer, {"gen", "out"}), "g.txt");
    EXPECT_EQ(consumer.variables.at(Util::CiString("gen")).type, Zarn::Assignment::Append);
    EXPECT_EQ(dotted(consumer, {"lib", "gen", "out"}), "l.txt");
    EXPECT_EQ(dotted(consumer, {"lib", "doc", "out"}), "d.txt");  // merged into the unit's context
    EXPECT_EQ(dotted(consumer, {"app", "x", "out"}), "o.txt");     // same unit name, other project
    EXPECT_EQ(dotted(consumer, {"libs", "first"}), "1");            // an alias appends
    EXPECT_EQ(dotted(consumer, {"libs", "out"}), "a.txt");
}

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
        {{"p", "app", "fresh"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, c.dependency, ""); }),
                  c.warning.empty() ? "" : c.warning + collisionTail)
            << c.dependency.toString();

    // Warned, then the append operator decides: a string takes no context value.
    const std::string out = run([&] {
        EXPECT_THROW(store.createDependencyContext(dependency(), {"p", "tools", "gen"}, outputsWith({})),
                     Zarn::BadConversion);
    });
    EXPECT_EQ(out, cases[2].warning + collisionTail);
}

TEST_F(DependencyOutputsTest, MergedAliasWarnsOnceOnCollision)
{
    consumer.addAssignment(set("objs", block({})));
    const std::string first = merge("objs", {"p", "app", "a"}, str("a.o"));
    EXPECT_EQ(first + merge("OBJS", {"p", "lib", "b"}, str("b.o")),
              "Dependency output alias 'objs' collides with an existing context variable." + collisionTail);
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
