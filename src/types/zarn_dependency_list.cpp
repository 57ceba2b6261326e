#include "types/zarn_dependency_list.h"

#include <cctype>
#include <stdexcept>

#include "types/identifier_parser.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_context_value.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

ZarnException invalidDependency(const std::string& text, const std::string& reason)
{
    return ZarnException("Invalid dynamic dependency '" + text + "': " + reason);
}

// Splits at whitespace outside parentheses, so "t( p , q )" stays whole.
std::vector<DependencyToken> splitTokens(const std::string& text)
{
    std::vector<DependencyToken> tokens;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0)
                throw invalidDependency(text, "unmatched ')'");
            --depth;
        } else if (depth == 0 && isSpace(c)) {
            ZarnValuePtr none;
            addDependencyToken(tokens, current, none);
            current.clear();
            continue;
        }
        current += c;
    }
    if (depth > 0)
        throw invalidDependency(text, "unterminated parameter list");
    ZarnValuePtr none;
    addDependencyToken(tokens, current, none);
    return tokens;
}

std::vector<DependencyToken> collectTokens(const ZarnValuePtr& value)
{
    std::vector<DependencyToken> tokens;
    if (auto* contextValue = dynamic_cast<ZarnContext*>(value.get())) {
        ContextPtr nested = contextValue->getContext();
        if (!nested)
            return tokens;
        for (const auto& entry : nested->variables) {
            std::string text = entry.second.name;
            ZarnValuePtr member = entry.second.value;
            addDependencyToken(tokens, text, member);
        }
    } else if (auto* list = dynamic_cast<ZarnList*>(value.get())) {
        for (const ZarnValuePtr& member : list->getMembers()) {
            if (!member)
                continue;
            std::string text = member->toString();
            ZarnValuePtr memberValue = member;
            addDependencyToken(tokens, text, memberValue);
        }
    } else {
        tokens = splitTokens(value->toString());
    }
    return tokens;
}

// A parameter must be one whole identifier.
Identifier parseParameter(const std::string& token, const std::string& piece)
{
    Identifier identifier;
    ParseError error;
    IdentifierParserState state;
    state.text = piece;
    state.error = &error;
    if (!parseSegments(state, identifier, 0) || state.position != piece.size())
        throw invalidDependency(token, "invalid parameter '" + piece + "'");
    return identifier;
}

// "name(p1, p2)": the target name and its parameter identifiers.
void parseParameterizedToken(const std::string& token, Dependency& dependency)
{
    if (token.back() != ')')
        throw invalidDependency(token, "unterminated parameter list");
    std::size_t open = token.find('(');
    std::string name = trimWhitespace(token.substr(0, open));
    if (name.empty())
        throw invalidDependency(token, "empty target name");

    std::string inner = token.substr(open + 1, token.size() - open - 2);
    if (trimWhitespace(inner).empty())
        throw invalidDependency(token, "empty parameter list");
    std::vector<Identifier> parameters;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = inner.find(',', start);
        std::string piece = trimWhitespace(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (piece.empty())
            throw invalidDependency(token, "empty parameter");
        parameters.push_back(parseParameter(token, piece));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    dependency.parameters = std::move(parameters);
    dependency.target = parseDependencyString(name);
}

void expandMacro(TargetContext& context, const Dependency& macroDependency, const DependencyMacro& macro,
                 std::vector<Dependency>& result)
{
    ZarnValuePtr value = context.lookup(macro.identifier);
    std::string valueText = value ? value->toString() : "";
    std::vector<DependencyToken> tokens;
    if (!valueText.empty())
        tokens = collectTokens(value);
    if (tokens.empty()) {
        logMessage(LogLevel::Warning, "Dynamic dependency '{}' is empty and will be skipped.\n",
                   identifierText(macro.identifier));
        return;
    }
    if (macroDependency.aliasKind == 1 && tokens.size() > 1)
        throw invalidDependency(valueText,
                                "single output alias cannot be used when a macro expands to multiple dependencies");

    for (const DependencyToken& token : tokens) {
        Dependency dependency;
        dependency.modifier = macroDependency.modifier;
        dependency.aliasKind = macroDependency.aliasKind;
        dependency.parameters = macroDependency.parameters;
        dependency.alias = macroDependency.alias;
        std::string text = trimWhitespace(token.text);
        bool hasParameters = text.find('(') != std::string::npos;

        if (macro.hasSourceParameter) {
            dependency.sourceValue = token.value;
            if (hasParameters)
                throw invalidDependency(
                    text, "cannot combine source-parameterized macro with parameters from the resolved dependency value");
            dependency.target = parseDependencyString(text);
        } else if (!hasParameters) {
            dependency.target = parseDependencyString(text);
        } else if (!macroDependency.parameters.empty()) {
            throw invalidDependency(text,
                                    "cannot combine macro parameters with parameters from the resolved dependency value");
        } else {
            parseParameterizedToken(text, dependency);
        }
        result.push_back(std::move(dependency));
    }
}

}  // namespace

std::vector<Dependency> createDependencyList(TargetContext& context)
{
    std::vector<Dependency> result;
    result.reserve(context.dependencies.size());
    logMessage(LogLevel::Debug, "Creating dependency list.\n");
    for (const Dependency& dependency : context.dependencies) {
        if (const auto* macro = std::get_if<DependencyMacro>(&dependency.target))
            expandMacro(context, dependency, *macro, result);
        else
            result.push_back(dependency);
    }
    return result;
}

QualifiedTargetName parseDependencyString(const std::string& text)
{
    std::size_t separator = text.find("::");
    if (separator == std::string::npos) {
        if (text.empty())
            throw std::runtime_error("Dependency string is empty");
        return QualifiedTargetName("", "", text);
    }
    std::string prefix = text.substr(0, separator);
    std::string target = text.substr(separator + 2);
    if (prefix.empty() || target.empty())
        throw std::runtime_error("Dependency string has empty prefix or target: " + text);
    std::size_t slash = prefix.find('/');
    if (slash == std::string::npos)
        return QualifiedTargetName("", prefix, target);
    std::string project = prefix.substr(0, slash);
    std::string unit = prefix.substr(slash + 1);
    if (project.empty() || unit.empty())
        throw std::runtime_error("Dependency string has empty ns or unit: " + text);
    return QualifiedTargetName(project, unit, target);
}

void addDependencyToken(std::vector<DependencyToken>& tokens, std::string& text, ZarnValuePtr& value)
{
    text = trimWhitespace(text);
    if (text.empty())
        return;
    if (!value)
        value = makeString(text);
    tokens.push_back(DependencyToken{text, value});
}

std::string trimWhitespace(const std::string& text)
{
    std::size_t first = 0;
    while (first < text.size() && isSpace(text[first]))
        ++first;
    std::size_t last = text.size();
    while (last > first && isSpace(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

}  // namespace Zarn
