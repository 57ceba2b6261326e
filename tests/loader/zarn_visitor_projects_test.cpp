#include <gtest/gtest.h>

#include "test_support.h"

using namespace TestSupport;

TEST(VisitorProjects, UnitsOfOneNameAreMergedAndImportsRead)
{
    auto data = visitProjectText(R"(name app import {
        dev: "../lib/.zarn_project.txt" lib (release); other; "plain.txt"; rel: shared (dbg); }
        units { app { "a.txt" } lib { } APP { "b.txt" "c/d.txt" } })");
    EXPECT_EQ(data.name, "app");
    ASSERT_EQ(data.units.size(), 2u);
    EXPECT_EQ(data.units[0].name, "app");
    EXPECT_EQ(data.units[0].files, (std::vector<std::filesystem::path> {"a.txt", "b.txt", "c/d.txt"}));
    EXPECT_EQ(data.units[1].name, "lib");
    EXPECT_TRUE(data.units[1].files.empty());
    std::vector<std::string> imports;  // kind|path|projectName|alias|sourceProfile|importProfile
    for (const auto& i : data.imports)
        imports.push_back(std::to_string(i.kind) + "|" + i.path.string() + "|" + i.projectName + "|" + i.alias + "|" +
                          i.sourceProfile + "|" + i.importProfile);
    EXPECT_EQ(imports, (std::vector<std::string> {"0|../lib/.zarn_project.txt||lib|dev|release", "1||other|||",
                                                  "0|plain.txt||||", "1||shared||rel|dbg"}));
}

TEST(VisitorProjects, ToolsAllowTheMustModifierAndProfilesDoNot)
{
    auto data = visitProjectText(R"~(
        tools { gcc { tool_type = "gnu-gcc" !cc = P"(bin/gcc)" } gcc { x = 1 } }
        profiles { debug { opt = 0 } Debug { opt = 1 } })~");
    std::string found;  // "<name> <block>" of each tool, then of each profile
    for (const auto& tool : data.toolDefinitions)
        found += tool.name + " " + outline(tool.contextTemplate.get()) + " ";
    for (const auto& profile : data.profiles)
        found += profile.name + " " + outline(profile.contextTemplate.get()) + " ";
    EXPECT_EQ(found, "gcc {1/0 tool_type=ZarnString gnu-gcc; 1/2 cc=ZarnString /base/bin/gcc; } "
                     "gcc {1/0 x=ZarnInt 1; } debug {1/0 opt=ZarnInt 0; } Debug {1/0 opt=ZarnInt 1; } ");
    // The flag is put back after a tool, so the profile after it is refused.
    EXPECT_EQ(messageOf<std::runtime_error>([] { visitProjectText("tools { t { !a = 1 } } profiles { p { !a = 1 } }"); }),
              "'!' assignment modifier is not allowed in this context.");
}

