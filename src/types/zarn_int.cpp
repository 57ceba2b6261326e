#include "types/zarn_int.h"

#include <string>

#include "types/zarn_exceptions.h"

namespace Zarn {

namespace {

// Signed overflow is undefined; unsigned arithmetic wraps.
int32_t wrappingSum(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int32_t ZarnInt::otherValue(const ZarnValue& other) const
{
    const auto* number = dynamic_cast<const ZarnInt*>(&other);
    if (!number)
        throw BadConversion(typeName(), toLiteral(), other.typeName());
    return number->value;
}

ZarnValuePtr ZarnInt::clone() const
{
    return std::make_shared<ZarnInt>(value);
}

ZarnValuePtr ZarnInt::add(const ZarnValue& other) const
{
    return std::make_shared<ZarnInt>(wrappingSum(value, otherValue(other)));
}

void ZarnInt::append(const ZarnValue& other)
{
    value = wrappingSum(value, otherValue(other));
}

std::string ZarnInt::toString() const
{
    return std::to_string(value);
}

ZarnValueIteratorPtr ZarnInt::begin() const
{
    return std::make_unique<Iterator>(value);
}

ZarnValueIteratorPtr ZarnInt::end() const
{
    return std::make_unique<Iterator>(value);
}

bool ZarnInt::equals(const ZarnValue& other) const
{
    return value == otherValue(other);
}

bool ZarnInt::greaterThan(const ZarnValue& other) const
{
    return value > otherValue(other);
}

bool ZarnInt::lessThan(const ZarnValue& other) const
{
    return value < otherValue(other);
}

ZarnValuePtr ZarnInt::Iterator::current() const
{
    return std::make_shared<ZarnInt>(value);
}

bool ZarnInt::Iterator::equals(const IZarnValueIterator& other) const
{
    const auto* iterator = dynamic_cast<const Iterator*>(&other);
    if (!iterator)
        throw ZARN_INTERNAL_ERROR();
    return value == iterator->value;
}

}  // namespace Zarn
