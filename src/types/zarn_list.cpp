#include "types/zarn_list.h"
#include "types/value_kind.h"

#include <algorithm>

#include "types/zarn_exceptions.h"

namespace Zarn {

namespace {

// Orders two members by value so that list order agrees with equals and does
// not depend on addresses. Members that cannot be compared (unlike kinds)
// fall back to their class names and texts.
int compareMembers(const ZarnValuePtr& a, const ZarnValuePtr& b)
{
    if (a == b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    try {
        if (a->equals(*b))
            return 0;
        if (a->lessThan(*b))
            return -1;
        if (a->greaterThan(*b))
            return 1;
    } catch (const ZarnException&) {
        // unlike kinds: ordered below
    }
    if (int byType = a->typeName().compare(b->typeName()))
        return byType < 0 ? -1 : 1;
    int byText = a->toString().compare(b->toString());
    return byText < 0 ? -1 : (byText > 0 ? 1 : 0);
}

}  // namespace

ZarnValuePtr ZarnList::clone() const
{
    return copyWith(&ZarnValue::clone);
}

ZarnValuePtr ZarnList::deepClone() const
{
    return copyWith(&ZarnValue::deepClone);
}

ZarnValuePtr ZarnList::copyWith(ZarnValuePtr (ZarnValue::*copy)() const) const
{
    std::vector<ZarnValuePtr> copies;
    copies.reserve(members.size());
    for (const auto& member : members)
        copies.push_back(member ? ((*member).*copy)() : nullptr);
    return std::make_shared<ZarnList>(std::move(copies));
}

ZarnValuePtr ZarnList::add(const ZarnValue& other) const
{
    auto result = std::make_shared<ZarnList>(members);
    result->append(other);
    return result;
}

void ZarnList::append(const ZarnValue& other)
{
    if (const auto* list = valueAs<const ZarnList>(&other)) {
        // Copied first: other may be this list.
        std::vector<ZarnValuePtr> handles = list->members;
        members.insert(members.end(), handles.begin(), handles.end());
        return;
    }
    members.push_back(other.clone());
}

ZarnValuePtr ZarnList::get(const AccessKey& key) const
{
    if (const auto* index = std::get_if<int64_t>(&key)) {
        auto position = static_cast<uint64_t>(*index);
        if (position < members.size())
            return members[static_cast<std::size_t>(position)];
    }
    throw IndexException(toLiteral(), key);
}

std::string ZarnList::toString() const
{
    std::string text;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0)
            text += ' ';
        if (members[i])
            text += members[i]->toString();
    }
    return text;
}

std::string ZarnList::toLiteral() const
{
    if (members.empty())
        return "[]";
    std::string text = "[";
    for (std::size_t i = 0; i < members.size(); ++i) {
        text += ' ';
        text += members[i] ? members[i]->toLiteral() : "\"\"";
        text += i + 1 < members.size() ? "," : " ";
    }
    return text + "]";
}

bool ZarnList::hasLiteralForm() const
{
    for (const auto& member : members)
        if (member && !member->hasLiteralForm())
            return false;
    return true;
}

ZarnValueIteratorPtr ZarnList::begin() const
{
    return std::make_unique<Iterator>(*this, 0);
}

ZarnValueIteratorPtr ZarnList::end() const
{
    return std::make_unique<Iterator>(*this, members.size());
}

bool ZarnList::equals(const ZarnValue& other) const
{
    const auto* list = valueAs<const ZarnList>(&other);
    if (!list || list->members.size() != members.size())
        return false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& mine = members[i];
        const auto& theirs = list->members[i];
        if (!mine && !theirs)
            continue;
        if (!mine || !theirs || !mine->equals(*theirs))
            return false;
    }
    return true;
}

int ZarnList::compare(const ZarnValue& other) const
{
    const auto* list = valueAs<const ZarnList>(&other);
    if (!list)
        throw BadConversion(other.typeName(), other.toLiteral(), typeName());
    // Copied: comparing members must not see a list that changes meanwhile.
    std::vector<ZarnValuePtr> theirs = list->members;
    std::size_t common = std::min(members.size(), theirs.size());
    for (std::size_t i = 0; i < common; ++i)
        if (int order = compareMembers(members[i], theirs[i]))
            return order;
    if (members.size() == theirs.size())
        return 0;
    return members.size() < theirs.size() ? -1 : 1;
}

bool ZarnList::greaterThan(const ZarnValue& other) const
{
    return compare(other) > 0;
}

bool ZarnList::lessThan(const ZarnValue& other) const
{
    return compare(other) < 0;
}

void ZarnList::setResolver(Resolver* newResolver)
{
    resolver = newResolver;
    for (const auto& member : members)
        if (auto* resolvable = valueAs<Resolvable>(member.get()))
            resolvable->setResolver(newResolver);
}

ZarnValuePtr ZarnList::resolve()
{
    auto result = std::make_shared<ZarnList>();
    // Copied: resolving a member may append to this list.
    std::vector<ZarnValuePtr> current = members;
    for (const auto& member : current) {
        ZarnValuePtr value = member;
        if (auto* resolvable = valueAs<Resolvable>(member.get()))
            value = resolvable->resolve();
        if (const auto* list = valueAs<const ZarnList>(value.get()))
            result->members.insert(result->members.end(), list->members.begin(), list->members.end());
        else
            result->members.push_back(value);
    }
    return result;
}

ZarnList::Iterator::Iterator(const ZarnList& list, std::size_t position)
    : keepAlive(list.weak_from_this().lock()), members(&list.members), position(position)
{
}

ZarnValuePtr ZarnList::Iterator::current() const
{
    return position < members->size() ? (*members)[position] : nullptr;
}

bool ZarnList::Iterator::equals(const IZarnValueIterator& other) const
{
    const auto* iterator = dynamic_cast<const Iterator*>(&other);
    if (!iterator)
        throw ZARN_INTERNAL_ERROR();
    return members == iterator->members && position == iterator->position;
}

}  // namespace Zarn
