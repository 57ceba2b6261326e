#include "tools/fake_toolchain.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace FakeToolchain {

namespace {

std::string answerLines(const std::string& question, const Answer& answer)
{
    std::string body = "    " + question + ") ";
    switch (answer.kind) {
    case Answer::Kind::Print:
        body += "printf '%s\\n' " + shellQuote(answer.text) + "; exit 0;;\n";
        break;
    case Answer::Kind::Fail:
        body += "exit 1;;\n";
        break;
    case Answer::Kind::Hang:
        body += "exec sleep 3600;;\n";
        break;
    }
    return body;
}

std::string firstNumber(const std::string& version)
{
    const size_t dot = version.find('.');
    return dot == std::string::npos ? version : version.substr(0, dot);
}

void writeExecutable(const fs::path& file, const std::string& text)
{
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out)
            throw std::runtime_error("cannot write " + file.string());
    }
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

}  // namespace

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Compiler compiler(std::string name, std::string machine, std::string fullVersion, bool cplusplus)
{
    Compiler result;
    result.name = std::move(name);
    result.machine = Answer::print(std::move(machine));
    result.version = Answer::print(firstNumber(fullVersion));
    result.fullVersion = Answer::print(std::move(fullVersion));
    result.realProgram = cplusplus ? "/usr/bin/g++" : "/usr/bin/gcc";
    return result;
}

BinDir::BinDir(fs::path directory) : dir(std::move(directory))
{
    fs::create_directories(dir);
}

fs::path BinDir::add(const Compiler& fake) const
{
    std::string script = "#!/bin/sh\nif [ $# -eq 1 ]; then\n  case \"$1\" in\n";
    script += answerLines("-dumpmachine", fake.machine);
    script += answerLines("-dumpfullversion", fake.fullVersion);
    script += answerLines("-dumpversion", fake.version);
    script += "  esac\nfi\n";
    if (!fake.realProgram.empty()) {
        script += "exec " + shellQuote(fake.realProgram) + " \"$@\"\n";
    } else {
        const fs::path log = dir / (fake.name + ".log");
        script += "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + shellQuote(log.string()) + "\n";
        script += "out=\nwhile [ $# -gt 0 ]; do\n"
                  "  if [ \"$1\" = -o ] && [ $# -gt 1 ]; then out=$2; fi\n"
                  "  shift\ndone\n"
                  "if [ -n \"$out\" ]; then : > \"$out\"; fi\nexit 0\n";
    }
    return addScript(fake.name, script.substr(std::string("#!/bin/sh\n").size()));
}

fs::path BinDir::addGcc(const std::string& name, const std::string& machine, const std::string& fullVersion) const
{
    return add(compiler(name, machine, fullVersion, false));
}

fs::path BinDir::addGxx(const std::string& name, const std::string& machine, const std::string& fullVersion) const
{
    return add(compiler(name, machine, fullVersion, true));
}

void BinDir::addBinutils(const std::string& prefix, bool withObjcopy) const
{
    addLink(prefix + "ar", "/usr/bin/ar");
    addLink(prefix + "ld", "/usr/bin/ld");
    if (withObjcopy)
        addLink(prefix + "objcopy", "/usr/bin/objcopy");
}

fs::path BinDir::addLink(const std::string& name, const fs::path& target) const
{
    const fs::path link = dir / name;
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(target, link);
    return link;
}

fs::path BinDir::addScript(const std::string& name, const std::string& body) const
{
    const fs::path file = dir / name;
    std::error_code ignored;
    fs::remove(file, ignored);
    writeExecutable(file, "#!/bin/sh\n" + body);
    return file;
}

std::string realAnswer(const std::string& program, const std::string& argument)
{
    const std::string command = shellQuote(program) + " " + shellQuote(argument) + " 2>/dev/null </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string text;
    char buffer[512];
    while (size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, count);
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace FakeToolchain
