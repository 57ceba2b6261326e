// The table from a tool-type name ("command", "no_tool", "gnu-gcc", "c3c")
// to the factory that makes that type's matchers.
#pragma once

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "types/ci_string.h"
#include "zarn_tool.h"

namespace Zarn {

// Makes a matcher from a tool's name, wants and variables; null when it
// cannot. May throw.
using MatcherFactory = std::function<std::unique_ptr<Matcher>(Util::CiString, KeySet, KeySet)>;

using ToolTypeRegistry = std::unordered_map<Util::CiString, MatcherFactory>;

// The process's one registry, made on first use.
ToolTypeRegistry& toolTypeRegistry();

// Registers the factory under the type name, replacing an earlier one. An
// empty factory stands for the one registered under fallbackName.
void registerToolFactory(const Util::CiString& name, const Util::CiString& fallbackName,
                         MatcherFactory factory);

// A new matcher of the named type (looked up ignoring case), or null when the
// type is unknown or its factory is empty. Whatever the factory throws passes.
std::unique_ptr<Matcher> createMatcher(const Util::CiString& typeName, Util::CiString toolName,
                                       KeySet wants, KeySet variables);

// Builds a tool type's tables and registers its factory. Running one again
// only re-registers the same factory.
using ToolTypeInitializer = void (*)();

// Fills the registry before anything else runs: the built-in types once, then
// the toolchain types the caller links in (the program's entry passes them).
void initProgramStatics(const std::vector<ToolTypeInitializer>& toolchainTypes = {});

}  // namespace Zarn
