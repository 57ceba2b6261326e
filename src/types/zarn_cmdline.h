// Variables as command-line text: every member of a variable becomes one
// argument, " " + prefix + text, optionally in double quotes. A missing
// variable, a variable without value and an empty text give "", so callers
// can append the result unconditionally.
#pragma once

#include <string>

#include "types/zarn_context_types.h"
#include "types/zarn_value.h"

namespace Zarn {

// The text with \ " $ and ` escaped, so that inside double quotes the shell
// takes it literally.
std::string escapeForDoubleQuotes(const std::string& text);

// One argument. With quote set, a text that does not start with a double
// quote is wrapped in quotes, and the characters the shell still interprets
// inside them (\ " $ `) are escaped, so untrusted text such as a file name
// reaches the command as text. A text that starts with a quote was quoted by
// its author and is kept as written (only a missing closing quote is added).
std::string renderArgument(const ZarnValuePtr& value, const std::string& prefix, bool quote);

// A list: its members rendered in order, nested lists at any depth; any other
// value: renderArgument of it.
std::string renderArgumentFlattened(const ZarnValuePtr& value, const std::string& prefix, bool quote);

// The members the value's walk yields (a string's words, a list's elements),
// a list member walked one level more.
std::string getVariableArguments(const VariableMap& variables, const std::string& name,
                                 const std::string& prefix, bool quote);

// The value flattened through nested lists; a string, blanks included, is one
// argument.
std::string getVariableJoined(const VariableMap& variables, const std::string& name,
                              const std::string& prefix, bool quote);

// The arguments a variable gives on a tool's command line, the same whether
// the variable holds its target's value or a build job's list of values: a
// string gives its words, a path value stays one argument (a directory name
// may hold blanks), a list gives what each member gives, at any depth.
std::string getCommandArguments(const VariableMap& variables, const std::string& name,
                                const std::string& prefix, bool quote);

}  // namespace Zarn
