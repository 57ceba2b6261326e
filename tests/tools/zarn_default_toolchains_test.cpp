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
    struct Case {
        std::string what;
        std::vector<std::string> files;  // fake compilers, or links to the real ar and ld
        std::size_t found;
    };
    const std::vector<Case> cases = {
        {"a lone gcc", {"gcc"}, 0},
        {"gcc and ar", {"gcc", "ar"}, 0},
        {"gcc and ld", {"gcc", "ld"}, 0},
        {"g++ without gcc", {"g++", "ar", "ld"}, 0},
        {"a versioned gcc-12", {"gcc-12", "ar", "ld"}, 1},
        {"prefixed tools", {"arm-none-eabi-gcc", "arm-none-eabi-ar", "arm-none-eabi-ld"}, 1},
        {"gcc, ar and ld", {"gcc", "ar", "ld"}, 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        FakeToolchain::BinDir bin(dir / "bin");
        for (const std::string& file : c.files) {
            if (file.find("-ar") != std::string::npos || file == "ar")
                bin.addLink(file, "/usr/bin/ar");
            else if (file.find("-ld") != std::string::npos || file == "ld")
                bin.addLink(file, "/usr/bin/ld");
            else if (file.rfind("arm", 0) == 0)
                bin.addGcc(file, "arm-none-eabi", "10.3.1");
            else if (file == "g++")
                bin.addGxx(file);
            else
                bin.addGcc(file);
        }
        EXPECT_EQ(createDefaultGnuTools({bin.path()}).size(), c.found) << c.what;
    }
}

TEST(CreateDefaultGnuToolsTest, KeepsTextsThatAStringWouldExpandAsRawStrings)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "issue#12" / "bin");
    bin.addGcc("gcc", "x86_64-${HOME}-#{x}", "12.2.0");
    bin.addBinutils();

    const auto definitions = createDefaultGnuTools({bin.path()});
    ASSERT_EQ(definitions.size(), 1u);
    std::string kinds;
    for (const auto& assignment : definitions[0]->assignments)
        kinds += assignment.name + ":" + assignment.value->typeName() + "=" + assignment.value->toString() + "\n";
    EXPECT_EQ(kinds, "toolchain_name:ZarnString=default_gnu_12_2_0_x86_64\n"
                     "tool_type:ZarnString=gnu-gcc\n"
                     "toolchain_version:ZarnString=12.2.0\n"
                     "prefix:ZarnRawString=x86_64-${HOME}-#{x}\n"
                     "arch:ZarnString=x86_64\n"
                     "os:ZarnRawString=${HOME}\n"
                     "abi:ZarnRawString=#{x}\n"
                     "toolchain_path:ZarnRawString=" + bin.path().string() + "\n");
}
