#include "tools/zarn_default_toolchains.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/fake_toolchain.h"

namespace fs = std::filesystem;
using namespace Zarn;
using TestSupport::TempDir;

namespace {

// "name=value ..." of a definition's assignments, in order.
std::string textOf(const ContextTemplate& definition)
{
    std::string text;
    for (const auto& assignment : definition.assignments)
        text += (text.empty() ? "" : " ") + assignment.name + "=" + assignment.value->toString();
    return text;
}

std::string nameOf(const ContextTemplate& definition)
{
    return definition.assignments.front().value->toString();
}

}  // namespace

TEST(SanitizeToolNameTest, KeepsLettersDigitsUnderscoresAndDashes)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"12.2.0", "12_2_0"}, {"x86_64", "x86_64"}, {"", "unknown"}, {"a-b c/d", "a-b_c_d"}, {"\xc3\xa9", "__"},
    };
    for (const auto& [text, sanitized] : cases)
        EXPECT_EQ(sanitizeToolName(text), sanitized) << text;
}

TEST(CreateDefaultGnuToolsTest, MakesOneDefinitionPerToolchain)
{
    TempDir dir;
    FakeToolchain::BinDir usr(dir / "usr" / "bin");
    usr.addGcc("gcc-11", "x86_64-linux-gnu", "11.4.0");
    usr.addGcc("gcc-12", "x86_64-linux-gnu", "12.2.0");
    usr.addGxx("g++-12", "x86_64-linux-gnu", "12.2.0");
    FakeToolchain::Compiler bare = FakeToolchain::compiler("arm-none-eabi-gcc", "arm-none-eabi", "");
    bare.fullVersion = FakeToolchain::Answer::fail();
    bare.version = FakeToolchain::Answer::fail();
    usr.add(bare);
    usr.addBinutils();

    const auto definitions = createDefaultGnuTools({usr.path()});
    std::map<std::string, std::string> byName;
    for (const auto& definition : definitions)
        byName[nameOf(*definition)] = textOf(*definition);
    const std::string bin = usr.path().string();
    EXPECT_EQ(byName, (std::map<std::string, std::string>{
                          {"default_gnu_11_4_0_x86_64",
                           "toolchain_name=default_gnu_11_4_0_x86_64 tool_type=gnu-gcc toolchain_version=11.4.0 "
                           "prefix=x86_64-linux-gnu arch=x86_64 os=linux abi=gnu toolchain_path=" + bin},
                          {"default_gnu_12_2_0_x86_64",
                           "toolchain_name=default_gnu_12_2_0_x86_64 tool_type=gnu-gcc toolchain_version=12.2.0 "
                           "prefix=x86_64-linux-gnu arch=x86_64 os=linux abi=gnu toolchain_path=" + bin},
                          {"default_gnu_0_arm",
                           "toolchain_name=default_gnu_0_arm tool_type=gnu-gcc toolchain_version=0 "
                           "prefix=arm-none-eabi arch=arm os=none abi=eabi toolchain_path=" + bin},
                      }));
}

TEST(CreateDefaultGnuToolsTest, CountsADirectoryReachedFromTwoRootsOnce)
{
    TempDir dir;
    const fs::path opt = dir / "opt";
    FakeToolchain::BinDir toolset(opt / "rh" / "gcc-toolset-12" / "root" / "usr" / "bin");
    toolset.addGcc("gcc", "x86_64-redhat-linux", "12.1.1");
    toolset.addBinutils();
    FakeToolchain::BinDir cross(opt / "cross" / "bin");
    cross.addGcc("gcc", "-odd", "12.1.1");
    cross.addBinutils();
    // A second root that is a link to the first reaches the same files.
    fs::create_directory_symlink(opt, dir / "opt-link");

    const auto definitions = createDefaultGnuTools({opt / "rh", opt, dir / "missing", dir / "opt-link"});
    ASSERT_EQ(definitions.size(), 2u);
    EXPECT_EQ(nameOf(*definitions[0]), "default_gnu_12_1_1_x86_64");
    EXPECT_EQ(textOf(*definitions[0]).substr(textOf(*definitions[0]).rfind(' ') + 1),
              "toolchain_path=" + (opt / "rh" / "gcc-toolset-12" / "root" / "usr" / "bin").string());
    EXPECT_EQ(nameOf(*definitions[1]), "default_gnu_12_1_1_unknown");
    EXPECT_TRUE(createDefaultGnuTools({}).empty());
}

TEST(CreateDefaultGnuToolsTest, LeavesOutDirectoriesWithoutTheToolsABuildNeeds)
{
    const struct {
        std::vector<std::string> files;  // a compiler first, then links to the real ar and ld
        std::size_t found;
    } cases[] = {
        {{"gcc"}, 0},
        {{"gcc", "ar"}, 0},
        {{"gcc", "ld"}, 0},
        {{"g++", "ar", "ld"}, 0},
        {{"gcc-12", "ar", "ld"}, 1},
        {{"arm-none-eabi-gcc", "arm-none-eabi-ar", "arm-none-eabi-ld"}, 1},
        {{"gcc", "ar", "ld"}, 1},
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeToolchain::BinDir bin(dir / "bin");
        if (c.files[0] == "g++")
            bin.addGxx("g++");
        else
            bin.addGcc(c.files[0], c.files[0].rfind("arm", 0) == 0 ? "arm-none-eabi" : "x86_64-linux-gnu");
        for (std::size_t i = 1; i < c.files.size(); ++i)
            bin.addLink(c.files[i], "/usr/bin/" + c.files[i].substr(c.files[i].size() - 2));
        EXPECT_EQ(createDefaultGnuTools({bin.path()}).size(), c.found) << c.files[0] << " of " << c.files.size();
    }
}
