#include "types/zarn_value.h"

#include "types/zarn_exceptions.h"

namespace Zarn {

bool EmptyValueIterator::equals(const IZarnValueIterator& other) const
{
    return dynamic_cast<const EmptyValueIterator*>(&other) != nullptr;
}

ZarnValuePtr ZarnValue::get(const AccessKey& key) const
{
    throw IndexException(toLiteral(), key);
}

ZarnValueIteratorPtr begin(const ZarnValue& value)
{
    return value.begin();
}

ZarnValueIteratorPtr end(const ZarnValue& value)
{
    return value.end();
}

ZarnValueIteratorPtr begin(const ZarnValuePtr& value)
{
    if (!value)
        return std::make_unique<EmptyValueIterator>();
    return value->begin();
}

ZarnValueIteratorPtr end(const ZarnValuePtr& value)
{
    if (!value)
        return std::make_unique<EmptyValueIterator>();
    return value->end();
}

}  // namespace Zarn
