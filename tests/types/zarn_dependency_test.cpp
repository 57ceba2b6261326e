#include "types/zarn_dependency.h"

#include "types/zarn_string.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zarn;

TEST(Dependency, NewRecordDefaults)
{
    Dependency d;
    EXPECT_EQ(d.modifier, 0u);
    EXPECT_EQ(d.aliasKind, 0u);
    EXPECT_EQ(d.sourceValue, nullptr);
    EXPECT_TRUE(d.parameters.empty());
    EXPECT_TRUE(d.alias.empty());
    ASSERT_EQ(d.target.index(), 0u);
    const auto& name = std::get<QualifiedTargetName>(d.target);
    EXPECT_TRUE(name.project.empty() && name.unit.empty() && name.target.empty());
}

TEST(Dependency, CopySharesSourceValueAndCopiesTheRest)
{
    Dependency original;
    original.sourceValue = makeString("src/a.c");
    Identifier param;
    param.segments.push_back({"p", {}});
    original.parameters.push_back(param);
    DependencyMacro macro;
    macro.identifier.segments.push_back({"files", {}});
    macro.hasSourceParameter = true;
    original.target = macro;

    Dependency copy = original;
    EXPECT_EQ(copy.sourceValue.get(), original.sourceValue.get());
    EXPECT_EQ(original.sourceValue.use_count(), 2);

    copy.parameters[0].segments[0].name = "changed";
    EXPECT_EQ(original.parameters[0].segments[0].name, "p");
    std::get<DependencyMacro>(copy.target).identifier.segments[0].name = "other";
    EXPECT_EQ(std::get<DependencyMacro>(original.target).identifier.segments[0].name, "files");
    EXPECT_TRUE(std::get<DependencyMacro>(copy.target).hasSourceParameter);
}
