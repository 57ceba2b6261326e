#include "e2e/find_compilers_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tools/fake_toolchain.h"

namespace E2e {

namespace fs = std::filesystem;
using FakeToolchain::shellQuote;

bool canMountOpt()
{
    return std::system("unshare -m --propagation private /bin/sh -c 'mount --bind /tmp /opt' "
                       ">/dev/null 2>&1") == 0;
}

RunResult runWithOpt(const Sandbox& box, const std::vector<std::string>& args)
{
    const fs::path outFile = box.root() / "opt-run.out";
    const fs::path errFile = box.root() / "opt-run.err";
    std::string command = "cd " + shellQuote(box.work().string()) + " && HOME=" + shellQuote(box.home().string()) +
                          " unshare -m --propagation private /bin/sh -c 'mount --bind \"$0\" /opt && exec \"$@\"' " +
                          shellQuote((box.root() / "opt").string()) + " " + shellQuote(ZARN_BINARY);
    for (const auto& arg : args)
        command += " " + shellQuote(arg);
    command += " </dev/null >" + shellQuote(outFile.string()) + " 2>" + shellQuote(errFile.string());
    const int wstatus = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = box.read(outFile);
    result.err = box.read(errFile);
    return result;
}

std::string definitionIn(const std::string& registry, const std::string& name)
{
    const size_t at = registry.find("  " + name + " {\n");
    if (at == std::string::npos)
        return {};
    return registry.substr(at, registry.find("  }\n", at) - at);
}

std::string machineDefaultName()
{
    const std::string version = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpfullversion");
    const std::string machine = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpmachine");
    if (version.empty() || machine.empty())
        return {};
    std::string name = "default_gnu_" + version + "_" + machine.substr(0, machine.find('-'));
    for (char& c : name) {
        if (c == '.')
            c = '_';
    }
    return name;
}

}  // namespace E2e
