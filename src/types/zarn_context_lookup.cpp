#include <stdexcept>

#include "types/zarn_context_types.h"
#include "types/value_kind.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_context_value.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace {

// Index chains resolve the picked member without marking an assignment, so a
// member that refers to its own list ("l = [ "${l[0]}" ]") is caught by depth.
constexpr unsigned maxIndexedLookupDepth = 64;
thread_local unsigned indexedLookupDepth = 0;

class IndexedLookupDepth {
public:
    explicit IndexedLookupDepth(const std::string& name)
    {
        if (indexedLookupDepth >= maxIndexedLookupDepth)
            throw ZarnException("Reference cycle at variable '" + name + "'.");
        ++indexedLookupDepth;
    }
    ~IndexedLookupDepth() { --indexedLookupDepth; }
    IndexedLookupDepth(const IndexedLookupDepth&) = delete;
    IndexedLookupDepth& operator=(const IndexedLookupDepth&) = delete;
};

const std::string& firstName(const KeyChain& keys)
{
    const auto* name = std::get_if<std::string>(&keys.front());
    if (!name)
        throw ZARN_INTERNAL_ERROR();
    return *name;
}

// The key that an index expression stands for; a nested identifier is looked
// up (fully resolved) in the context first.
AccessKey indexKey(Context& context, const IndexExpr& index)
{
    if (const auto* number = std::get_if<uint64_t>(&index))
        return static_cast<int64_t>(*number);
    if (const auto* range = std::get_if<std::pair<uint64_t, uint64_t>>(&index))
        return AccessRange{static_cast<int64_t>(range->first), static_cast<int64_t>(range->second), 1};

    const auto& nested = std::get<std::shared_ptr<Identifier>>(index);
    if (!nested)
        throw std::invalid_argument("key value is null");
    ZarnValuePtr value = context.lookup(*nested);
    if (!value)
        throw std::invalid_argument("key value is null");
    if (const auto* integer = valueAs<const ZarnInt>(value.get()))
        return static_cast<int64_t>(integer->getValue());
    if (valueAs<const ZarnIdentifier>(value.get()) || valueAs<const ZarnBaseString>(value.get()))
        return value->toString();
    throw std::runtime_error("Unsupported key type: " + value->toLiteral());
}

KeyChain buildKeyChain(Context& context, const Identifier& identifier)
{
    KeyChain keys;
    for (const Identifier::Segment& segment : identifier.segments) {
        keys.emplace_back(segment.name);
        for (const IndexExpr& index : segment.indexes)
            keys.push_back(indexKey(context, index));
    }
    return keys;
}

}  // namespace

ZarnValuePtr Context::lookup(const Identifier& identifier)
{
    KeyChain keys = buildKeyChain(*this, identifier);
    if (!keys.empty() && !std::holds_alternative<std::string>(keys.back()))
        return lookupIndexed(keys);

    ContextPtr keepAlive;
    Assignment& assignment = findAssignment(keys, keepAlive);
    return resolveAssignment(assignment);
}

ZarnValuePtr Context::lookupIndexed(const KeyChain& keys)
{
    const std::string& name = firstName(keys);
    auto found = variables.find(Util::CiString(name));
    if (found == variables.end())
        throw std::out_of_range("map::at");

    // The stored value as it is, not resolved first.
    ZarnValuePtr value = found->second.value;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (!value)
            throw IndexException(name, keys[i]);
        value = value->get(keys[i]);
    }
    IndexedLookupDepth depth(name);
    return resolveValue(value);
}

Assignment& Context::getAssignment(const KeyChain& keys)
{
    ContextPtr keepAlive;
    return findAssignment(keys, keepAlive);
}

Assignment& Context::findAssignment(const KeyChain& keys, ContextPtr& keepAlive)
{
    if (keys.empty())
        throw ZARN_INTERNAL_ERROR();
    const std::string& first = firstName(keys);
    auto found = variables.find(Util::CiString(first));
    if (keys.size() == 1) {
        if (found == variables.end())
            throw NotFoundException("Assignment", first);
        return found->second;
    }
    if (found == variables.end())
        throw std::out_of_range("map::at");
    ZarnValuePtr value = found->second.value;
    std::size_t last = keys.size() - 1;
    for (std::size_t i = 1; i < last; ++i) {
        if (!value)
            break;
        value = value->get(keys[i]);
    }

    auto* nested = valueAs<ZarnContext>(value.get());
    if (!nested)
        throw IdentifierError(keys, last, "Identifier part must be context.");
    // The returned reference lives in this nested context; the caller keeps
    // it alive while using the reference.
    keepAlive = nested->getContext();
    if (!keepAlive)
        throw ZARN_INTERNAL_ERROR();

    const auto* lastName = std::get_if<std::string>(&keys[last]);
    if (!lastName)
        throw ZARN_INTERNAL_ERROR();
    auto member = keepAlive->variables.find(Util::CiString(*lastName));
    if (member == keepAlive->variables.end())
        throw NotFoundException("Assignment", *lastName);
    return member->second;
}

}  // namespace Zarn
