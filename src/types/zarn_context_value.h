// A block of assignments used as a value.
#pragma once

#include <memory>

#include "types/zarn_context_types.h"
#include "types/zarn_value.h"

namespace Zarn {

class ZarnContext : public ZarnValue, public Resolvable, public std::enable_shared_from_this<ZarnContext> {
public:
    // Shares the context; does not copy it.
    explicit ZarnContext(ContextPtr context) : context(std::move(context)) {}

    // A new value sharing the nested context.
    ZarnValuePtr clone() const override;
    // With a context value: a new value over a merged copy; with a string: a
    // new value sharing the nested context, which gains the declaration.
    ZarnValuePtr add(const ZarnValue& other) const override;
    // Merges a context value's assignments, or declares a string's text as
    // a variable without value, in the nested context.
    void append(const ZarnValue& other) override;
    // The named variable's value as stored, unresolved.
    ZarnValuePtr get(const AccessKey& key) const override;
    // The variable names in name order; values are not shown.
    std::string toString() const override;
    std::string toLiteral() const override { return toString(); }
    // Walks the variable names.
    ZarnValueIteratorPtr begin() const override;
    ZarnValueIteratorPtr end() const override;
    // The same nested context; another kind of value is a BadConversion.
    bool equals(const ZarnValue& other) const override;
    // By number of variables.
    bool greaterThan(const ZarnValue& other) const override;
    bool lessThan(const ZarnValue& other) const override;
    std::string typeName() const override { return "ZarnContext"; }
    // A new value over a deep copy of the nested context.
    ZarnValuePtr deepClone() const override;

    // Binds the nested values to this value's resolver, not to the nested
    // context: a reference inside the block is looked up outside it.
    void setResolver(Resolver* newResolver) override;
    // Resolves the nested context in place and returns this same value.
    ZarnValuePtr resolve() override;

    const ContextPtr& getContext() const { return context; }

    class Iterator : public IZarnValueIterator {
    public:
        Iterator(ContextPtr context, VariableMap::const_iterator position)
            : context(std::move(context)), position(position)
        {
        }
        void next() override { ++position; }
        // A new string holding the variable's name.
        ZarnValuePtr current() const override;
        bool equals(const IZarnValueIterator& other) const override;

    private:
        ContextPtr context;
        VariableMap::const_iterator position;
    };

private:
    // The nested context; a value without one is an internal error.
    Context& nested() const;

    ContextPtr context;
};

}  // namespace Zarn
