// The class of a value recognised without dynamic_cast on the common paths:
// the value classes of the language are told apart by the identity of their
// type, and only another class (a subclass made elsewhere) takes a cast.
#pragma once

#include <type_traits>
#include <typeinfo>

#include "types/zarn_value_types.h"

namespace Zarn {

namespace detail {

// True when the value's class is exactly C; then `out` is the value as a T,
// or null when a C is no T.
template <class T, class C, class V>
bool exactly(V* value, const std::type_info& type, T*& out)
{
    if (&type != &typeid(C))
        return false;
    if constexpr (std::is_base_of_v<std::remove_const_t<T>, C>)
        out = static_cast<std::conditional_t<std::is_const_v<V>, const C*, C*>>(value);
    else
        out = nullptr;
    return true;
}

}  // namespace detail

// The value as a T (a value class, or Resolvable), or null when it is none
// or null itself; the same answer as dynamic_cast, most of the time cheaper.
template <class T, class V>
T* valueAs(V* value)
{
    static_assert(std::is_base_of_v<ZarnValue, std::remove_const_t<V>>, "a value pointer is expected");
    static_assert(std::is_const_v<T> || !std::is_const_v<V>, "valueAs would drop const");
    if (!value)
        return nullptr;
    const std::type_info& type = typeid(*value);
    T* out = nullptr;
    if (detail::exactly<T, ZarnString>(value, type, out) || detail::exactly<T, ZarnPathString>(value, type, out) ||
        detail::exactly<T, ZarnList>(value, type, out) || detail::exactly<T, ZarnInt>(value, type, out) ||
        detail::exactly<T, ZarnRawString>(value, type, out) || detail::exactly<T, ZarnContext>(value, type, out) ||
        detail::exactly<T, ZarnIdentifier>(value, type, out) || detail::exactly<T, ZarnBaseString>(value, type, out))
        return out;
    return dynamic_cast<T*>(value);
}

}  // namespace Zarn
