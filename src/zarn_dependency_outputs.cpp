#include "zarn_dependency_outputs.h"

#include <memory>
#include <utility>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "types/zarn_value_types.h"

namespace Zarn {

namespace {

ZarnValuePtr contextValue(ContextPtr context)
{
    return std::make_shared<ZarnContext>(std::move(context));
}

const Assignment* findVariable(const Context& context, const std::string& name)
{
    auto it = context.variables.find(Util::CiString(name));
    return it == context.variables.end() ? nullptr : &it->second;
}

}  // namespace

DependencyOutputStore::DependencyOutputStore(Context& consumer, QualifiedTargetName consumerName)
    : consumer(consumer), consumerName(std::move(consumerName))
{
}

bool DependencyOutputStore::isSameUnit(const QualifiedTargetName& consumerTarget,
                                       const QualifiedTargetName& dependency)
{
    return Util::ciEqual(consumerTarget.project, dependency.project) &&
           Util::ciEqual(consumerTarget.unit, dependency.unit);
}

void DependencyOutputStore::warnOnCollision(const QualifiedTargetName& consumerTarget,
                                            const QualifiedTargetName& dependency, const std::string& alias) const
{
    if (!alias.empty()) {
        if (findVariable(consumer, alias))
            logMessage(LogLevel::Warning,
                       "Dependency output alias '{}' collides with an existing context variable. Names are "
                       "case-insensitive; this may make dependency output ambiguous.\n",
                       alias);
        return;
    }
    if (isSameUnit(consumerTarget, dependency)) {
        if (findVariable(consumer, dependency.target))
            logMessage(LogLevel::Warning,
                       "Dependency output '{}' collides with an existing context variable. Names are "
                       "case-insensitive; this may make dependency output ambiguous.\n",
                       dependency.target);
        return;
    }
    const Assignment* unitVariable = findVariable(consumer, dependency.unit);
    if (!unitVariable)
        return;
    if (const auto* nested = dynamic_cast<const ZarnContext*>(unitVariable->value.get())) {
        if (nested->getContext() && findVariable(*nested->getContext(), dependency.target))
            logMessage(LogLevel::Warning,
                       "Dependency output '{}::{}' collides with an existing dependency output. Names are "
                       "case-insensitive; this may make dependency output ambiguous.\n",
                       dependency.unit, dependency.target);
        return;
    }
    logMessage(LogLevel::Warning,
               "Dependency output '{}::{}' collides with existing context variable '{}'. Names are "
               "case-insensitive; this may make dependency output ambiguous.\n",
               dependency.unit, dependency.target, dependency.unit);
}

void DependencyOutputStore::createDependencyContext(const Dependency& dependency,
                                                    const QualifiedTargetName& dependencyName,
                                                    const ContextPtr& outputs)
{
    warnOnCollision(consumerName, dependencyName, dependency.alias);
    const bool underOwnName = !dependency.alias.empty() || isSameUnit(consumerName, dependencyName);
    const std::string& name =
        !dependency.alias.empty() ? dependency.alias : underOwnName ? dependencyName.target : dependencyName.unit;
    // With "+" an output of that very name is merged into the consumer (a
    // target "objs" hands on `objs`): it takes the name, since an output
    // context appended to it could not hold both.
    if (dependency.modifier == 1 && findVariable(*outputs, name))
        return;
    ZarnValuePtr value = contextValue(outputs);
    if (!underOwnName) {
        auto unitContext = std::make_shared<Context>();
        unitContext->addAssignment(Assignment(dependencyName.target, value, Assignment::Set), 0);
        value = contextValue(unitContext);
    }
    joinOutputs(name, value, dependencyName, !dependency.alias.empty());
}

void DependencyOutputStore::joinOutputs(const std::string& name, const ZarnValuePtr& outputs,
                                        const QualifiedTargetName& dependencyName, bool aliased)
{
    // The variable of that name may hold a number or a text, or a reference
    // not resolved yet (`LIB = lib.lib` beside the dependency `lib`): none
    // takes a context.
    const auto cannotJoin = [&] {
        return ZarnException("Target '" + consumerName.unit + "::" + consumerName.target +
                             "' cannot take the outputs of dependency '" + dependencyName.unit + "::" +
                             dependencyName.target + "' as its variable '" + name +
                             "', which holds another kind of value; give the dependency " +
                             (aliased ? "another alias." : "an alias with '=>'."));
    };
    try {
        consumer.addAssignment(Assignment(name, outputs, Assignment::Append), 0);
    } catch (const BadConversion&) {
        throw cannotJoin();
    } catch (const BadOperation&) {
        throw cannotJoin();
    }
}

void DependencyOutputStore::addMergedAliasOutput(const Dependency& dependency,
                                                 const QualifiedTargetName& dependencyName,
                                                 const ContextPtr& outputs)
{
    if (dependency.alias.empty())
        throw ZARN_INTERNAL_ERROR();
    ContextPtr& merged = mergedAliasContexts[Util::CiString(dependency.alias)];
    if (!merged) {
        warnOnCollision(consumerName, dependencyName, dependency.alias);
        merged = std::make_shared<Context>();
        joinOutputs(dependency.alias, contextValue(merged), dependencyName, true);
    }
    std::vector<Assignment> failed = merged->addImplicitContext(*outputs, Assignment::Append, false, 0);
    if (failed.empty())
        return;
    std::vector<Assignment>& pending = pendingMergedAppends[Util::CiString(dependency.alias)];
    for (Assignment& assignment : failed)
        pending.push_back(std::move(assignment));
}

void DependencyOutputStore::appendMergedOutput()
{
    for (const auto& [alias, pending] : pendingMergedAppends) {
        const ContextPtr& merged = mergedAliasContexts.at(alias);
        for (const Assignment& assignment : pending) {
            logMessage(LogLevel::Debug, "Second try adding merged dependency output append {}.\n",
                       assignment.value ? assignment.value->toLiteral() : std::string());
            merged->addAssignment(assignment, 0);
        }
    }
}

}  // namespace Zarn
