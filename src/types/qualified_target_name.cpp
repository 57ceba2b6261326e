#include "types/qualified_target_name.h"

#include <utility>

#include "types/ci_string.h"

namespace Zarn {

QualifiedTargetName::QualifiedTargetName(std::string project, std::string unit, std::string target)
    : project(std::move(project)), unit(std::move(unit)), target(std::move(target))
{
}

QualifiedTargetName QualifiedTargetName::parse(std::string_view text)
{
    QualifiedTargetName name;
    std::size_t colons = Util::findCaseInsensitive(text, "::", 0);
    if (colons == std::string::npos) {
        name.target = std::string(text);
        return name;
    }
    name.target = std::string(text.substr(colons + 2));
    std::string_view head = text.substr(0, colons);
    std::size_t slash = head.find('/');
    if (slash == std::string_view::npos) {
        name.unit = std::string(head);
    } else {
        name.project = std::string(head.substr(0, slash));
        name.unit = std::string(head.substr(slash + 1));
    }
    return name;
}

std::string QualifiedTargetName::toString() const
{
    return project + "/" + unit + "::" + target;
}

}  // namespace Zarn
