// Every loaded unit, by namespace (project name) and unit name.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "loader/zarn_unit.h"
#include "types/ci_string.h"
#include "types/qualified_target_name.h"

class UnitTable {
public:
    // Both levels ignore letter case. One unit may stand under several keys.
    std::map<Util::CiString, std::map<Util::CiString, std::shared_ptr<Zarn::Unit>>> units;
    Util::CiString mainUnit;       // meant by an empty unit name
    Util::CiString mainNamespace;  // meant by an empty namespace

    // Stores the unit, replacing an existing entry of the same key.
    void addUnit(const Util::CiString& nameSpace, const Util::CiString& unitName,
                 const std::shared_ptr<Zarn::Unit>& unit);

    // Empty arguments are replaced in place by the defaults, and stay replaced
    // when the lookup fails. Throws NotFoundException "Namespace" or "Unit".
    std::shared_ptr<Zarn::Unit> getUnit(Util::CiString& nameSpace, Util::CiString& unitName);

    // The empty project and unit parts of the name are filled in place. Throws
    // NotFoundException "Namespace", "Unit" or "Target". The reference points
    // into the unit's map and stays valid while the unit is in the table.
    Zarn::Target& getTarget(Zarn::QualifiedTargetName& name);

    // True when the text ("p/u::t", "u::t" or "t") names a loaded target; only
    // a NotFoundException is turned into false.
    bool hasTarget(const std::string& text);

private:
    // Fills the defaults into empty parts, then finds the unit; shared by the
    // lookups of units and targets.
    const std::shared_ptr<Zarn::Unit>& lookupUnit(std::string& nameSpace, std::string& unitName);
};
