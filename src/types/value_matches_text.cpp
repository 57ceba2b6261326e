#include "types/value_matches_text.h"

#include "types/ci_string.h"
#include "types/zarn_value_types.h"

namespace Zarn {

bool valueMatchesText(const ZarnValuePtr& value, const std::string& text)
{
    if (!value)
        return false;
    if (dynamic_cast<const ZarnList*>(value.get())) {
        auto end = Zarn::end(value);
        for (auto it = Zarn::begin(value); !it->equals(*end); it->next()) {
            if (valueMatchesText(it->current(), text))
                return true;
        }
        return false;
    }
    return Util::ciEqual(value->toString(), text);
}

}  // namespace Zarn
