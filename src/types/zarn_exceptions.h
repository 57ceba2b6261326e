// The model's errors. The root stands apart from std::exception on purpose:
// handlers for standard exceptions do not catch it.
#pragma once

#include <cstdint>
#include <forward_list>
#include <string>
#include <unordered_set>
#include <utility>

#include "types/identifier_parser.h"

namespace Zarn {

class ZarnException {
public:
    explicit ZarnException(std::string message = {}) : message(std::move(message)) {}
    virtual ~ZarnException() = default;

    // Composed on demand from the class's fields.
    virtual std::string getMessage() const;

protected:
    std::string message;
};

// An operation not allowed on a value.
class BadOperation : public ZarnException {
public:
    explicit BadOperation(std::string message) : ZarnException(std::move(message)) {}
};

// "<kind> '<name>' not found."
class NotFoundException : public ZarnException {
public:
    NotFoundException(std::string kind, std::string name);
    std::string getMessage() const override;

    std::string kind;
    std::string name;
};

// "Cannot convert <fromType> <literal> to <toType>"
class BadConversion : public ZarnException {
public:
    BadConversion(std::string fromType, std::string literal, std::string toType);
    std::string getMessage() const override;

    std::string fromType;
    std::string literal;
    std::string toType;
};

// A value that cannot be indexed with the given key.
class IndexException : public ZarnException {
public:
    IndexException(std::string variable, AccessKey key);
    std::string getMessage() const override;

    std::string variable;
    AccessKey key;
};

// Where an internal error was raised. The strings are literals with static
// lifetime, so the record stays valid wherever the exception travels.
struct SourceLocation {
    const char* file = "";
    const char* function = "";
    uint32_t line = 0;
    uint32_t column = 0;
};

#define ZARN_SOURCE_LOCATION \
    (::Zarn::SourceLocation{__FILE__, __PRETTY_FUNCTION__, static_cast<uint32_t>(__LINE__), 0})

// Usage: throw ZARN_INTERNAL_ERROR();
#define ZARN_INTERNAL_ERROR() (::Zarn::InternalError(ZARN_SOURCE_LOCATION))

// A state the code should never reach.
class InternalError : public ZarnException {
public:
    explicit InternalError(const SourceLocation& location = {}) : location(location) {}
    std::string getMessage() const override;

    SourceLocation location;
};

// A lookup that failed part way along a key chain.
class IdentifierError : public ZarnException {
public:
    IdentifierError(KeyChain keys, uint64_t failedAt, std::string text);
    std::string getMessage() const override;

    KeyChain keys;
    uint64_t failedAt;  // keys before this one are listed in the message
    std::string text;
};

// A target that depends on itself.
class LoopFoundException : public ZarnException {
public:
    LoopFoundException(std::string term, std::forward_list<std::string> chain,
                       std::unordered_set<std::string> visited);
    std::string getMessage() const override;

    std::string term;
    std::forward_list<std::string> chain;
    std::unordered_set<std::string> visited;  // for the catcher; not in the message
};

}  // namespace Zarn
