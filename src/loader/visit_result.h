// The result type of the parse-tree visits and the helpers that take results
// out of it.
//
// The runtime's result type silently empties a copy whenever the held type is
// not nothrow copy-constructible (strings, vectors, records), so a result is
// always moved out of the visit's return value, never copied.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "antlr4-runtime.h"

namespace Zarn {

using VisitResult = antlrcpp::Any;

// Moves the held T out of a visit's result. A result of another type (or no
// result) throws std::bad_cast.
template <class T>
T takeResult(VisitResult&& result)
{
    static_assert(!std::is_reference_v<T>, "results are taken by value");
    return std::move(result.as<T>());
}

// True for a visit that produced nothing (a returned nullptr).
inline bool isNoResult(const VisitResult& result)
{
    return result.isNull();
}

// Adopts a newly allocated object that a visit handed out by raw pointer.
template <class T>
std::unique_ptr<T> takeOwned(VisitResult&& result)
{
    return std::unique_ptr<T>(result.as<T*>());
}

// Hands an owned object out of a visit as a raw pointer. The result is built
// before ownership is given up, so a failing allocation leaks nothing.
template <class T>
VisitResult handOver(std::unique_ptr<T> owned)
{
    VisitResult result(owned.get());
    owned.release();
    return result;
}

// Wraps a value as a visit's result, moving it in.
template <class T>
VisitResult makeResult(T&& value)
{
    return VisitResult(std::forward<T>(value));
}

}  // namespace Zarn
