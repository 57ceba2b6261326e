// The abstract value of the build language and the interfaces around it.
#pragma once

#include <memory>
#include <string>

#include "types/identifier_parser.h"

namespace Zarn {

class ZarnValue;
// Every value is held and passed through this handle; it may be null (a
// variable declared without a value).
using ZarnValuePtr = std::shared_ptr<ZarnValue>;

// Owning iterator over the members of a value. A walk takes begin and end
// and stops when the iterator equals the end.
class IZarnValueIterator {
public:
    virtual ~IZarnValueIterator() = default;
    // Advances to the next member.
    virtual void next() = 0;
    // The member at the current position.
    virtual ZarnValuePtr current() const = 0;
    // Same position over the same value; O(1).
    virtual bool equals(const IZarnValueIterator& other) const = 0;
};

using ZarnValueIteratorPtr = std::unique_ptr<IZarnValueIterator>;

// A value with no members: begin and end are equal from the start.
class EmptyValueIterator : public IZarnValueIterator {
public:
    void next() override {}
    ZarnValuePtr current() const override { return nullptr; }
    bool equals(const IZarnValueIterator& other) const override;
};

class ZarnValue {
public:
    virtual ~ZarnValue() = default;

    // A new value of the same class (lists clone their members; a context
    // value shares its nested context).
    virtual ZarnValuePtr clone() const = 0;
    // A new value combining this and other; both stay unchanged.
    virtual ZarnValuePtr add(const ZarnValue& other) const = 0;
    // Changes this value in place.
    virtual void append(const ZarnValue& other) = 0;
    // A member by key. The default refuses every key with IndexException.
    virtual ZarnValuePtr get(const AccessKey& key) const;
    // The plain text.
    virtual std::string toString() const = 0;
    // The value written as a literal of the build language.
    virtual std::string toLiteral() const = 0;
    virtual ZarnValueIteratorPtr begin() const = 0;
    virtual ZarnValueIteratorPtr end() const = 0;
    virtual bool equals(const ZarnValue& other) const = 0;
    virtual bool notEquals(const ZarnValue& other) const { return !equals(other); }
    virtual bool greaterThan(const ZarnValue& other) const = 0;
    virtual bool lessThan(const ZarnValue& other) const = 0;
    // The class name, as error messages show it.
    virtual std::string typeName() const = 0;

    // A copy that shares nothing mutable with this value: unlike clone, a
    // context value gets a new nested context. Used wherever a value enters
    // a context, so that resolving or appending there leaves other holders
    // untouched.
    virtual ZarnValuePtr deepClone() const { return clone(); }
    // False when toLiteral cannot be read back as this value (some texts
    // have no literal form); writers of stored files must then skip it.
    virtual bool hasLiteralForm() const { return true; }
};

class Resolver;

// Mix-in of values that hold references and remember who answers them.
class Resolvable {
public:
    virtual ~Resolvable() = default;

    // Binds the value (and what it holds) to a resolver; not owning.
    virtual void setResolver(Resolver* newResolver) { resolver = newResolver; }
    // The value with its references replaced; a new value except where a
    // class says otherwise.
    virtual ZarnValuePtr resolve() = 0;

    Resolver* getResolver() const { return resolver; }

protected:
    Resolver* resolver = nullptr;
};

// Answers the value of an identifier in its scope; a context is one.
class Resolver {
public:
    virtual ~Resolver() = default;
    virtual ZarnValuePtr lookup(const Identifier& identifier) = 0;
};

// The iterators of a value's members. A null handle has no members.
ZarnValueIteratorPtr begin(const ZarnValue& value);
ZarnValueIteratorPtr end(const ZarnValue& value);
ZarnValueIteratorPtr begin(const ZarnValuePtr& value);
ZarnValueIteratorPtr end(const ZarnValuePtr& value);

}  // namespace Zarn
