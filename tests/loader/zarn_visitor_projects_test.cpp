#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "loader/visit_support.h"

using LoaderTest::visitProjectText;
using LoaderTest::visitRegistryText;

TEST(VisitorProjects, EmptyProjectAndEmptySections)
{
    for (const char* text : {"", "units { } profiles { }", "import { } tools { }"}) {
        SCOPED_TRACE(text);
        auto data = visitProjectText(text);
        EXPECT_EQ(data.name, "");
        EXPECT_TRUE(data.imports.empty());
        EXPECT_TRUE(data.toolDefinitions.empty());
        EXPECT_TRUE(data.units.empty());
        EXPECT_TRUE(data.profiles.empty());
    }
}

TEST(VisitorProjects, UnitsOfOneNameAreMerged)
{
    auto data = visitProjectText(R"(name app
        units { app { "a.txt" } lib { } APP { "b.txt" "c/d.txt" } })");
    EXPECT_EQ(data.name, "app");
    ASSERT_EQ(data.units.size(), 2u);
    EXPECT_EQ(data.units[0].name, "app");
    EXPECT_EQ(data.units[0].files, (std::vector<std::filesystem::path>{"a.txt", "b.txt", "c/d.txt"}));
    EXPECT_EQ(data.units[1].name, "lib");
    EXPECT_TRUE(data.units[1].files.empty());
}

TEST(VisitorProjects, ImportsOfBothKinds)
{
    auto data = visitProjectText(R"(import {
        dev: "../lib/.zarn_project.txt" lib (release);
        other;
        "plain.txt";
        rel: shared (dbg);
    })");
    ASSERT_EQ(data.imports.size(), 4u);
    const auto& path = data.imports[0];
    EXPECT_EQ(path.kind, 0u);
    EXPECT_EQ(path.path, "../lib/.zarn_project.txt");
    EXPECT_EQ(path.alias, "lib");
    EXPECT_EQ(path.sourceProfile, "dev");
    EXPECT_EQ(path.importProfile, "release");
    EXPECT_EQ(path.projectName, "");

    const auto& registry = data.imports[1];
    EXPECT_EQ(registry.kind, 1u);
    EXPECT_EQ(registry.projectName, "other");
    EXPECT_TRUE(registry.path.empty());
    EXPECT_EQ(registry.alias + registry.sourceProfile + registry.importProfile, "");

    EXPECT_EQ(data.imports[2].kind, 0u);
    EXPECT_EQ(data.imports[2].alias, "");
    EXPECT_EQ(data.imports[3].projectName, "shared");
    EXPECT_EQ(data.imports[3].sourceProfile, "rel");
    EXPECT_EQ(data.imports[3].importProfile, "dbg");
}

TEST(VisitorProjects, ToolsAllowTheMustModifierAndProfilesDoNot)
{
    auto data = visitProjectText(R"~(
        tools { gcc { tool_type = "gnu-gcc" !cc = P"(bin/gcc)" } gcc { x = 1 } }
        profiles { debug { opt = 0 } Debug { opt = 1 } })~");
    ASSERT_EQ(data.toolDefinitions.size(), 2u);
    const auto& tool = data.toolDefinitions[0];
    EXPECT_EQ(tool.name, "gcc");
    ASSERT_TRUE(tool.contextTemplate);
    ASSERT_EQ(tool.contextTemplate->assignments.size(), 2u);
    EXPECT_EQ(tool.contextTemplate->assignments[1].flags, 2u);
    EXPECT_EQ(tool.contextTemplate->assignments[1].value->toString(), "/base/bin/gcc");
    ASSERT_EQ(data.profiles.size(), 2u);
    EXPECT_EQ(data.profiles[1].name, "Debug");
    ASSERT_TRUE(data.profiles[1].contextTemplate);
    EXPECT_EQ(data.profiles[1].contextTemplate->assignments.at(0).value->toString(), "1");

    try {
        visitProjectText("tools { t { !a = 1 } } profiles { p { !a = 1 } }");
        FAIL() << "'!' accepted in a profile";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "'!' assignment modifier is not allowed in this context.");
    }
}

TEST(VisitorRegistry, EntriesAndTools)
{
    auto data = visitRegistryText(R"(projects {
            foo "projects/foo/.zarn_project.txt"
            bar "/abs/bar/.zarn_project.txt"
            foo "again"
        }
        tools { gcc12 { tool_type = "gnu-gcc" !version = "12" } })",
                                  "/home/u/.config/zarn");
    ASSERT_EQ(data.projects.size(), 3u);
    EXPECT_EQ(data.projects[0].name, "foo");
    EXPECT_EQ(data.projects[0].path, "/home/u/.config/zarn/projects/foo/.zarn_project.txt");
    EXPECT_EQ(data.projects[1].path, "/abs/bar/.zarn_project.txt");
    EXPECT_EQ(data.projects[2].path, "/home/u/.config/zarn/again");
    ASSERT_EQ(data.tools.size(), 1u);
    EXPECT_EQ(data.tools[0].contextTemplate->assignments.at(1).flags, 2u);
}

TEST(VisitorRegistry, EmptyRegistry)
{
    auto data = visitRegistryText("");
    EXPECT_TRUE(data.projects.empty());
    EXPECT_TRUE(data.tools.empty());
}
