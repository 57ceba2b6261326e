// Helpers for tests of --find-compilers. zarn runs with a private view of
// /opt: in a mount namespace of its own, /opt shows a directory of the
// sandbox, so the search finds fake toolchains there and the machine's own
// /opt stays untouched.
#pragma once

#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace E2e {

// True when this process may run a program with a private view of /opt.
bool canMountOpt();

// Runs zarn in the sandbox's work directory, with its HOME, while /opt
// shows the sandbox's directory "opt".
RunResult runWithOpt(const Sandbox& box, const std::vector<std::string>& args);

// The registry's definition of the named tool, up to its closing brace; ""
// when there is none.
std::string definitionIn(const std::string& registry, const std::string& name);

// What the machine's gcc gives as its default definition's name, or "".
std::string machineDefaultName();

}  // namespace E2e
