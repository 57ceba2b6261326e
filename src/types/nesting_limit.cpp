#include "types/nesting_limit.h"

#include <algorithm>

#include "types/zarn_context_types.h"
#include "types/zarn_value_types.h"

namespace Zarn {

unsigned valueDepth(const ZarnValue& value, unsigned stopAt)
{
    const auto* list = dynamic_cast<const ZarnList*>(&value);
    const auto* block = list ? nullptr : dynamic_cast<const ZarnContext*>(&value);
    if (!list && !block)
        return 0;
    if (stopAt == 0)
        return 1;  // deeper than allowed already; the rest is not looked at
    unsigned inner = 0;
    auto measure = [&](const ZarnValuePtr& member) {
        if (member && inner < stopAt)
            inner = std::max(inner, valueDepth(*member, stopAt - 1));
    };
    if (list) {
        for (const ZarnValuePtr& member : list->getMembers())
            measure(member);
    } else if (block->getContext()) {
        for (const auto& entry : block->getContext()->variables)
            measure(entry.second.value);
    }
    return inner + 1;
}

}  // namespace Zarn
