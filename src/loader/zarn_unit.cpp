#include "loader/zarn_unit.h"

#include <stdexcept>
#include <utility>

namespace Zarn {

void Unit::addTarget(Target&& target)
{
    std::string key = target.name.target;
    auto found = targets.find(key);
    if (found != targets.end())
        throw std::invalid_argument("Key already exists: " + found->first);
    targets.emplace(Util::CiString(key), std::move(target));
    if (firstTarget.empty())
        firstTarget = std::move(key);
}

}  // namespace Zarn
