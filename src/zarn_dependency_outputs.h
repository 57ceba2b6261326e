// Makes each dependency's output context visible in the context of the
// target that depends on it (the consumer), for one visit of the consumer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "types/ci_string.h"
#include "types/qualified_target_name.h"
#include "types/zarn_context_types.h"

namespace Zarn {

class DependencyOutputStore {
public:
    // consumerName must be the filled name (project and unit set), since
    // dependencies of the same unit are told apart by it.
    DependencyOutputStore(Context& consumer, QualifiedTargetName consumerName);

    // A dependency without alias or with a "=>" alias: its outputs appear
    // under the alias, under the target name (same project and unit), or
    // under the unit name holding the target name (another unit).
    void createDependencyContext(const Dependency& dependency, const QualifiedTargetName& dependencyName,
                                 const ContextPtr& outputs);

    // A "+>" dependency: its outputs are merged into the one context of its
    // alias. Merges that fail wait for appendMergedOutput.
    void addMergedAliasOutput(const Dependency& dependency, const QualifiedTargetName& dependencyName,
                              const ContextPtr& outputs);

    // The second try of the merges that failed; its errors propagate.
    void appendMergedOutput();

    // Warns at level 6 when the name a dependency's outputs take is already
    // a variable of the consumer. Changes nothing.
    void warnOnCollision(const QualifiedTargetName& consumerTarget, const QualifiedTargetName& dependency,
                         const std::string& alias) const;

private:
    // Appends the outputs to the consumer's variable of that name; one that
    // holds another kind of value stops the run with a message naming both
    // and asking for an alias, or for another one where `aliased`.
    void joinOutputs(const std::string& name, const ZarnValuePtr& outputs, const QualifiedTargetName& dependencyName,
                     bool aliased);

    static bool isSameUnit(const QualifiedTargetName& consumerTarget, const QualifiedTargetName& dependency);

    Context& consumer;
    QualifiedTargetName consumerName;
    std::map<Util::CiString, ContextPtr> mergedAliasContexts;
    std::map<Util::CiString, std::vector<Assignment>> pendingMergedAppends;
};

}  // namespace Zarn
