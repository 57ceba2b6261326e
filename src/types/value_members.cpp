#include "types/value_members.h"

#include <vector>

#include "types/value_kind.h"
#include "types/zarn_context_value.h"
#include "types/zarn_list.h"

namespace Zarn {

ZarnValuePtr mapPlainMembers(const ZarnValuePtr& value,
                             const std::function<ZarnValuePtr(const ZarnValuePtr&)>& member)
{
    if (!value)
        return value;
    if (const auto* list = valueAs<const ZarnList>(value.get())) {
        std::vector<ZarnValuePtr> members;
        members.reserve(list->size());
        for (const ZarnValuePtr& each : list->getMembers())
            members.push_back(mapPlainMembers(each, member));
        return std::make_shared<ZarnList>(std::move(members));
    }
    if (const auto* block = valueAs<const ZarnContext>(value.get())) {
        if (!block->getContext())
            return value;
        ZarnValuePtr copy = block->deepClone();
        for (auto& [name, assignment] : valueAs<const ZarnContext>(copy.get())->getContext()->variables)
            assignment.value = mapPlainMembers(assignment.value, member);
        return copy;
    }
    return member(value);
}

}  // namespace Zarn
