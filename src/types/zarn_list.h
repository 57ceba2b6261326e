// The list value: ordered members, shared with whoever else holds them.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "types/zarn_value.h"

namespace Zarn {

class ZarnList : public ZarnValue, public Resolvable, public std::enable_shared_from_this<ZarnList> {
public:
    ZarnList() = default;
    explicit ZarnList(std::vector<ZarnValuePtr> members) : members(std::move(members)) {}

    // Members are cloned (a null member stays null).
    ZarnValuePtr clone() const override;
    // A new list sharing this list's members, then append(other).
    ZarnValuePtr add(const ZarnValue& other) const override;
    // A list operand adds its member handles (shared); any other value is
    // added as a clone.
    void append(const ZarnValue& other) override;
    // Only an integer index below the member count; the member is shared.
    ZarnValuePtr get(const AccessKey& key) const override;
    std::string toString() const override;
    std::string toLiteral() const override;
    ZarnValueIteratorPtr begin() const override;
    ZarnValueIteratorPtr end() const override;
    bool equals(const ZarnValue& other) const override;
    // Lexicographic by member value; a non-list operand is a BadConversion.
    bool greaterThan(const ZarnValue& other) const override;
    bool lessThan(const ZarnValue& other) const override;
    std::string typeName() const override { return "ZarnList"; }
    ZarnValuePtr deepClone() const override;
    bool hasLiteralForm() const override;

    // Binds the list and its resolvable members.
    void setResolver(Resolver* newResolver) override;
    // A new list of the resolved members, flattened one level.
    ZarnValuePtr resolve() override;

    const std::vector<ZarnValuePtr>& getMembers() const { return members; }
    std::size_t size() const { return members.size(); }

    // Holds the list while walking it when the list is shared-owned.
    class Iterator : public IZarnValueIterator {
    public:
        Iterator(const ZarnList& list, std::size_t position);
        void next() override { ++position; }
        ZarnValuePtr current() const override;
        bool equals(const IZarnValueIterator& other) const override;

    private:
        std::shared_ptr<const ZarnList> keepAlive;
        const std::vector<ZarnValuePtr>* members;
        std::size_t position;
    };

private:
    // A new list of the members copied by the given copy operation.
    ZarnValuePtr copyWith(ZarnValuePtr (ZarnValue::*copy)() const) const;
    // -1, 0 or 1: this list against another, member by member.
    int compare(const ZarnValue& other) const;

    std::vector<ZarnValuePtr> members;
};

}  // namespace Zarn
