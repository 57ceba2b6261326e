// Limits of the recursions whose depth the input decides. The program runs
// on a stack large enough for all of them at once (zarn_large_stack.h); a
// deeper input stops the run with an error that names the limit.
#pragma once

#include <string>
#include <utility>

#include "types/zarn_exceptions.h"

namespace Zarn {

// Variables whose values refer to each other, one behind the other. Each
// link of a chain takes several frames, so this is lower than the rest.
constexpr unsigned maxReferenceDepth = 5000;
// Targets that depend on each other, one behind the other.
constexpr unsigned maxDependencyDepth = 10000;
// Projects that import each other, one behind the other.
constexpr unsigned maxImportDepth = 1000;
// Lists and blocks inside each other in one value, as a file may write them.
// A target's outputs can nest its dependency's outputs, so without a limit
// a chain of targets would build values as deep as the chain is long.
constexpr unsigned maxValueDepth = 256;

// An input nested deeper than a limit. Handlers that turn other failures
// into warnings let this one pass, so the run stops.
class NestingLimitError : public ZarnException {
public:
    explicit NestingLimitError(std::string message) : ZarnException(std::move(message)) {}
};

class ZarnValue;

// How many lists and blocks the value has inside each other (0 for a text or
// a number); a result above `stopAt` is not exact, the walk ends there.
unsigned valueDepth(const ZarnValue& value, unsigned stopAt = maxValueDepth);

// Throws NestingLimitError. The throw happens deep in the stack: where the
// address sanitizer cannot clean up more than 64 MiB of stack itself on the
// way out (it then reports false errors), the used stack is cleaned first.
[[noreturn]] void throwNestingLimit(std::string message);

// One level of a counted recursion, for the lifetime of the object.
class NestingLevel {
public:
    // Throws NestingLimitError with describe()'s text when the counter is at
    // the limit already.
    template <class Describe>
    NestingLevel(unsigned& counter, unsigned limit, Describe describe) : counter(counter)
    {
        if (counter >= limit)
            throwNestingLimit(describe());
        ++counter;
    }
    ~NestingLevel() { --counter; }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;

private:
    unsigned& counter;
};

}  // namespace Zarn
