#include "types/zarn_exceptions.h"

#include <type_traits>

namespace Zarn {

namespace {

// Key text as an IndexException shows it: "[n]", "[a:b:c]", name, "/p/".
std::string indexKeyText(const AccessKey& key)
{
    return std::visit(
        [](const auto& k) -> std::string {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, int64_t>)
                return "[" + std::to_string(k) + "]";
            else if constexpr (std::is_same_v<K, AccessRange>)
                return "[" + std::to_string(k.start) + ":" + std::to_string(k.end) + ":" +
                       std::to_string(k.step) + "]";
            else if constexpr (std::is_same_v<K, std::string>)
                return k;
            else
                return "/" + k.pattern + "/";
        },
        key);
}

// Key text as an IdentifierError lists it: ranges read "a, b, c".
std::string chainKeyText(const AccessKey& key)
{
    return std::visit(
        [](const auto& k) -> std::string {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, int64_t>)
                return std::to_string(k);
            else if constexpr (std::is_same_v<K, AccessRange>)
                return std::to_string(k.start) + ", " + std::to_string(k.end) + ", " + std::to_string(k.step);
            else if constexpr (std::is_same_v<K, std::string>)
                return k;
            else
                return k.pattern;
        },
        key);
}

const char* orEmpty(const char* text)
{
    return text ? text : "";
}

}  // namespace

std::string ZarnException::getMessage() const
{
    return message;
}

NotFoundException::NotFoundException(std::string kind, std::string name)
    : kind(std::move(kind)), name(std::move(name))
{
}

std::string NotFoundException::getMessage() const
{
    return kind + " '" + name + "' not found.";
}

BadConversion::BadConversion(std::string fromType, std::string literal, std::string toType)
    : fromType(std::move(fromType)), literal(std::move(literal)), toType(std::move(toType))
{
}

std::string BadConversion::getMessage() const
{
    return "Cannot convert " + fromType + " " + literal + " to " + toType;
}

IndexException::IndexException(std::string variable, AccessKey key)
    : variable(std::move(variable)), key(std::move(key))
{
}

std::string IndexException::getMessage() const
{
    return "Variable " + variable + " cannot be indexed with " + indexKeyText(key);
}

std::string InternalError::getMessage() const
{
    return std::string("Internal: ") + orEmpty(location.file) + "(" + std::to_string(location.line) + ") " +
           orEmpty(location.function);
}

IdentifierError::IdentifierError(KeyChain keys, uint64_t failedAt, std::string text)
    : keys(std::move(keys)), failedAt(failedAt), text(std::move(text))
{
}

std::string IdentifierError::getMessage() const
{
    std::string result = text + " ";
    for (uint64_t i = 0; i < failedAt && i < keys.size(); ++i)
        result += chainKeyText(keys[i]) + ".";
    return result + " <<";
}

LoopFoundException::LoopFoundException(std::string term, std::forward_list<std::string> chain,
                                       std::unordered_set<std::string> visited)
    : term(std::move(term)), chain(std::move(chain)), visited(std::move(visited))
{
}

std::string LoopFoundException::getMessage() const
{
    std::string result = "Loop detected! Causing term: '" + term + "'\n  loop goes as follows: ";
    for (const std::string& element : chain)
        result += element + " <- ";
    return result;
}

}  // namespace Zarn
