#include "zarn_dependency_outputs.h"

#include <gtest/gtest.h>

#include "build_test_support.h"
#include "types/zarn_exceptions.h"

using namespace BuildTestSupport;

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
    DependencyOutputsTest() : consumer(Zarn::QualifiedTargetName("p", "app", "main"), ""), store(consumer, consumer.name)
    {
    }

    std::string run(const std::function<void()>& action) { return captureOutput(LogLevel::Trace, action); }

    Zarn::TargetContext consumer;
    Zarn::DependencyOutputStore store;
};

TEST_F(DependencyOutputsTest, SameUnitDependencyAppearsUnderItsTargetName)
{
    const std::string out = run([&] {
        store.createDependencyContext(dependency(), {"P", "APP", "gen"}, outputsWith({set("out", str("g.txt"))}));
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(dotted(consumer, {"gen", "out"}), "g.txt");
    EXPECT_EQ(consumer.variables.at(Util::CiString("gen")).type, Zarn::Assignment::Append);
}

TEST_F(DependencyOutputsTest, OtherUnitDependencyAppearsUnderUnitAndTarget)
{
    run([&] {
        store.createDependencyContext(dependency(), {"p", "lib", "gen"}, outputsWith({set("out", str("l.txt"))}));
        store.createDependencyContext(dependency(), {"p", "lib", "doc"}, outputsWith({set("out", str("d.txt"))}));
        store.createDependencyContext(dependency(), {"other", "app", "x"}, outputsWith({set("out", str("o.txt"))}));
    });
    EXPECT_EQ(dotted(consumer, {"lib", "gen", "out"}), "l.txt");
    EXPECT_EQ(dotted(consumer, {"lib", "doc", "out"}), "d.txt");  // the second merges into the unit's context
    EXPECT_EQ(dotted(consumer, {"app", "x", "out"}), "o.txt");     // same unit name, other project
}

TEST_F(DependencyOutputsTest, PlainAliasAppendsWithAWarningOnCollision)
{
    consumer.addAssignment(set("libs", block({set("first", str("1"))})));
    const std::string out = run([&] {
        store.createDependencyContext(dependency(1, "libs"), {"p", "lib", "gen"},
                                      outputsWith({set("out", str("l.txt"))}));
    });
    EXPECT_EQ(out, "Dependency output alias 'libs' collides with an existing context variable." + collisionTail);
    EXPECT_EQ(dotted(consumer, {"libs", "first"}), "1");
    EXPECT_EQ(dotted(consumer, {"libs", "out"}), "l.txt");
}

TEST_F(DependencyOutputsTest, CollisionWarnings)
{
    consumer.addAssignment(set("Gen", str("mine")));
    consumer.addAssignment(set("lib", block({set("gen", str("earlier"))})));
    consumer.addAssignment(set("tools", str("plain")));
    consumer.addAssignment(set("docs", block({set("other", str("x"))})));

    EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, {"p", "app", "gen"}, ""); }),
              "Dependency output 'gen' collides with an existing context variable." + collisionTail);
    EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, {"p", "lib", "GEN"}, ""); }),
              "Dependency output 'lib::GEN' collides with an existing dependency output." + collisionTail);
    EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, {"p", "tools", "gen"}, ""); }),
              "Dependency output 'tools::gen' collides with existing context variable 'tools'." + collisionTail);
    // a context value without that target, or no variable at all: no warning
    EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, {"p", "docs", "gen"}, ""); }), "");
    EXPECT_EQ(run([&] { store.warnOnCollision(consumer.name, {"p", "app", "fresh"}, ""); }), "");
}

TEST_F(DependencyOutputsTest, OtherUnitNamedLikeAStringVariableIsWarnedAndStillAppended)
{
    consumer.addAssignment(set("tools", str("plain")));
    const std::string out = captureOutput(LogLevel::Warning, [&] {
        // The append operator decides; a string does not take a context value.
        EXPECT_THROW(store.createDependencyContext(dependency(), {"p", "tools", "gen"},
                                                   outputsWith({set("out", str("t"))})),
                     Zarn::BadConversion);
    });
    EXPECT_EQ(out, "Dependency output 'tools::gen' collides with existing context variable 'tools'." + collisionTail);
}

TEST_F(DependencyOutputsTest, MergedAliasesShareOneContextWhateverTheirCase)
{
    const std::string out = run([&] {
        store.addMergedAliasOutput(dependency(2, "objs"), {"p", "app", "a"}, outputsWith({set("o", str("a.o"))}));
        store.addMergedAliasOutput(dependency(2, "OBJS"), {"p", "lib", "b"}, outputsWith({set("o", str("b.o"))}));
        store.appendMergedOutput();
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(consumer.variables.size(), 1u);
    EXPECT_EQ(dotted(consumer, {"objs", "o"}), "a.o b.o");
}

TEST_F(DependencyOutputsTest, MergedAliasWarnsOnceOnCollision)
{
    consumer.addAssignment(set("objs", block({})));
    const std::string out = run([&] {
        store.addMergedAliasOutput(dependency(2, "objs"), {"p", "app", "a"}, outputsWith({set("o", str("a.o"))}));
        store.addMergedAliasOutput(dependency(2, "objs"), {"p", "app", "b"}, outputsWith({set("o", str("b.o"))}));
    });
    EXPECT_EQ(out, "Dependency output alias 'objs' collides with an existing context variable." + collisionTail);
}

TEST_F(DependencyOutputsTest, FailedMergesAreTriedAgain)
{
    // An identifier value cannot be appended to: the merge fails, and so does
    // its second try, whose error then propagates.
    auto reference = std::make_shared<Zarn::ZarnIdentifier>(Zarn::Identifier{});
    run([&] {
        store.addMergedAliasOutput(dependency(2, "objs"), {"p", "app", "a"}, outputsWith({set("o", reference)}));
    });
    const std::string out = captureOutput(LogLevel::Debug, [&] {
        store.addMergedAliasOutput(dependency(2, "objs"), {"p", "app", "b"}, outputsWith({set("o", str("a.o"))}));
        EXPECT_THROW(store.appendMergedOutput(), Zarn::BadOperation);
    });
    EXPECT_NE(out.find("Second try adding merged dependency output append \"a.o\".\n"), std::string::npos) << out;
}

TEST_F(DependencyOutputsTest, MergedAliasWithoutNameIsAnInternalError)
{
    EXPECT_THROW(store.addMergedAliasOutput(dependency(2, ""), {"p", "app", "a"}, outputsWith({})),
                 Zarn::InternalError);
}

}  // namespace
