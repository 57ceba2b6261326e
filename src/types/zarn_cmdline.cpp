#include "types/zarn_cmdline.h"

#include "types/zarn_list.h"
#include "types/zarn_path_string.h"

namespace Zarn {

// Inside double quotes the shell still expands $ and `, and \ and " end or
// change the quoting.
std::string escapeForDoubleQuotes(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '$' || c == '`')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

namespace {

// The variable's value, or null when the name is missing or has no value.
ZarnValuePtr findValue(const VariableMap& variables, const std::string& name)
{
    const auto it = variables.find(Util::CiString(name));
    return it == variables.end() ? nullptr : it->second.value;
}

}  // namespace

std::string renderArgument(const ZarnValuePtr& value, const std::string& prefix, bool quote)
{
    const std::string text = value ? value->toString() : std::string();
    if (text.empty())
        return {};
    std::string result = " " + prefix;
    if (!quote)
        return result + text;
    if (text.front() == '"') {
        result += text;
        if (text.back() != '"')
            result += '"';
        return result;
    }
    return result + '"' + escapeForDoubleQuotes(text) + '"';
}

std::string renderArgumentFlattened(const ZarnValuePtr& value, const std::string& prefix, bool quote)
{
    const auto* list = dynamic_cast<const ZarnList*>(value.get());
    if (!list)
        return renderArgument(value, prefix, quote);
    std::string result;
    for (const auto& member : list->getMembers())
        result += renderArgumentFlattened(member, prefix, quote);
    return result;
}

std::string getVariableArguments(const VariableMap& variables, const std::string& name,
                                 const std::string& prefix, bool quote)
{
    const ZarnValuePtr value = findValue(variables, name);
    if (!value)
        return {};
    std::string result;
    for (auto it = begin(value), last = end(value); !it->equals(*last); it->next()) {
        const ZarnValuePtr member = it->current();
        if (const auto* list = dynamic_cast<const ZarnList*>(member.get())) {
            for (const auto& inner : list->getMembers())
                result += renderArgument(inner, prefix, quote);
        } else {
            result += renderArgument(member, prefix, quote);
        }
    }
    return result;
}

std::string getVariableJoined(const VariableMap& variables, const std::string& name,
                              const std::string& prefix, bool quote)
{
    const ZarnValuePtr value = findValue(variables, name);
    if (!value)
        return {};
    return renderArgumentFlattened(value, prefix, quote);
}

namespace {

std::string renderWords(const ZarnValuePtr& value, const std::string& prefix, bool quote)
{
    if (!value)
        return {};
    if (const auto* list = dynamic_cast<const ZarnList*>(value.get())) {
        std::string result;
        for (const auto& member : list->getMembers())
            result += renderWords(member, prefix, quote);
        return result;
    }
    if (!dynamic_cast<const ZarnBaseString*>(value.get()) || dynamic_cast<const ZarnPathString*>(value.get()))
        return renderArgument(value, prefix, quote);
    std::string result;
    for (auto it = begin(value), last = end(value); !it->equals(*last); it->next())
        result += renderArgument(it->current(), prefix, quote);
    return result;
}

}  // namespace

std::string getCommandArguments(const VariableMap& variables, const std::string& name,
                                const std::string& prefix, bool quote)
{
    return renderWords(findValue(variables, name), prefix, quote);
}

}  // namespace Zarn
