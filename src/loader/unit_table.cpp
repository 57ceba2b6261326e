#include "loader/unit_table.h"

#include "types/zarn_exceptions.h"

namespace {

// "ns/unit", or the unit alone in the empty namespace.
std::string unitText(const std::string& nameSpace, const std::string& unitName)
{
    return nameSpace.empty() ? unitName : nameSpace + "/" + unitName;
}

}  // namespace

void UnitTable::addUnit(const Util::CiString& nameSpace, const Util::CiString& unitName,
                        const std::shared_ptr<Zarn::Unit>& unit)
{
    units[nameSpace][unitName] = unit;
}

const std::shared_ptr<Zarn::Unit>& UnitTable::lookupUnit(std::string& nameSpace, std::string& unitName)
{
    if (nameSpace.empty())
        nameSpace = mainNamespace;
    auto space = units.find(Util::CiString(nameSpace));
    if (space == units.end())
        throw Zarn::NotFoundException("Namespace", nameSpace);
    if (unitName.empty())
        unitName = mainUnit;
    auto unit = space->second.find(Util::CiString(unitName));
    // A null entry can only come from a caller's mistake; it is as good as absent.
    if (unit == space->second.end() || !unit->second)
        throw Zarn::NotFoundException("Unit", unitText(nameSpace, unitName));
    return unit->second;
}

std::shared_ptr<Zarn::Unit> UnitTable::getUnit(Util::CiString& nameSpace, Util::CiString& unitName)
{
    return lookupUnit(nameSpace, unitName);
}

Zarn::Target& UnitTable::getTarget(Zarn::QualifiedTargetName& name)
{
    Zarn::Unit& unit = *lookupUnit(name.project, name.unit);
    auto target = unit.targets.find(Util::CiString(name.target));
    if (target == unit.targets.end())
        throw Zarn::NotFoundException("Target", unitText(name.project, name.unit) + "::" + name.target);
    return target->second;
}

bool UnitTable::hasTarget(const std::string& text)
{
    Zarn::QualifiedTargetName name = Zarn::QualifiedTargetName::parse(text);
    try {
        getTarget(name);
        return true;
    } catch (const Zarn::NotFoundException&) {
        return false;
    }
}
