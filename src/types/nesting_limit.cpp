#include "types/nesting_limit.h"

#include <algorithm>

#if defined(__SANITIZE_ADDRESS__)
#include <pthread.h>
#include <sanitizer/asan_interface.h>
#endif

#include "types/zarn_context_types.h"
#include "types/zarn_value_types.h"

namespace Zarn {

void throwNestingLimit(std::string message)
{
#if defined(__SANITIZE_ADDRESS__)
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* base = nullptr;
        std::size_t size = 0;
        if (pthread_attr_getstack(&attributes, &base, &size) == 0) {
            char here;
            char* top = static_cast<char*>(base) + size;
            if (&here < top)
                __asan_unpoison_memory_region(&here, static_cast<std::size_t>(top - &here));
        }
        pthread_attr_destroy(&attributes);
    }
#endif
    throw NestingLimitError(std::move(message));
}

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
