// Visits of unit files: the unit, its targets and their dependencies.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "loader/tree_children.h"
#include "loader/visit_tree_text.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "types/zarn_exceptions.h"

using Zarn::childOf;
using Zarn::childrenOf;
using Zarn::handOver;
using Zarn::makeResult;
using Zarn::nodeText;
using Zarn::requireNode;
using Zarn::takeOwned;
using Zarn::takeResult;
using Zarn::tokenOf;
using Zarn::tokensOf;

antlrcpp::Any ZarnVisitorImpl::visitZarnUnit(ZarnTopParser::ZarnUnitContext* ctx)
{
    auto unit = std::make_unique<Zarn::Unit>();
    // Before any target, so that every target's name carries the unit.
    if (auto* unitLine = childOf<ZarnTopParser::Unit_nameContext>(ctx)) {
        unitName = nodeText(tokenOf(unitLine, ZarnTopParser::IDENTIFIER));
        unit->name = unitName;
    }
    for (auto* target : childrenOf<ZarnTopParser::TargetContext>(ctx)) {
        auto visited = takeOwned<Zarn::Target>(visitTarget(target));
        unit->addTarget(std::move(*visited));
    }
    return handOver(std::move(unit));
}

antlrcpp::Any ZarnVisitorImpl::visitTarget(ZarnTopParser::TargetContext* ctx)
{
    auto target = std::make_unique<Zarn::Target>();
    target->name = Zarn::QualifiedTargetName(projectName, unitName, nodeText(tokenOf(ctx, ZarnTopParser::IDENTIFIER)));
    for (auto* parameter : childrenOf<ZarnTopParser::Parameter_nameContext>(ctx))
        target->parameterNames.push_back(nodeText(tokenOf(parameter, ZarnTopParser::IDENTIFIER)));
    auto dependencies = childrenOf<ZarnTopParser::DependencyContext>(ctx);
    target->dependencies.reserve(dependencies.size());
    for (auto* dependency : dependencies)
        target->dependencies.push_back(takeResult<Zarn::Dependency>(visitDependency(dependency)));
    auto* block = requireNode(childOf<ZarnTopParser::ContextContext>(ctx), "target");
    auto data = takeOwned<UnitContextData>(visitContext(block));
    moveBlockInto(*data, *target);
    return handOver(std::move(target));
}

antlrcpp::Any ZarnVisitorImpl::visitDirect_dependency(ZarnTopParser::Direct_dependencyContext* ctx)
{
    // [project "/"] [unit "::"] target: counted from the end.
    auto names = tokensOf(ctx, ZarnTopParser::IDENTIFIER);
    Zarn::QualifiedTargetName name;
    std::size_t count = names.size();
    if (count >= 1)
        name.target = nodeText(names[count - 1]);
    if (count >= 2)
        name.unit = nodeText(names[count - 2]);
    if (count >= 3)
        name.project = nodeText(names[count - 3]);
    Zarn::Dependency dependency;
    dependency.target = std::move(name);
    return makeResult(std::move(dependency));
}

antlrcpp::Any ZarnVisitorImpl::visitDependency_macro(ZarnTopParser::Dependency_macroContext* ctx)
{
    Zarn::DependencyMacro macro;
    auto* identifier = requireNode(childOf<ZarnTopParser::IdentifierContext>(ctx), "dependency");
    macro.identifier = takeResult<Zarn::Identifier>(visitIdentifier(identifier));
    Zarn::Dependency dependency;
    dependency.target = std::move(macro);
    return makeResult(std::move(dependency));
}

antlrcpp::Any ZarnVisitorImpl::visitDependency(ZarnTopParser::DependencyContext* ctx)
{
    auto* written = requireNode(childOf<ZarnTopParser::Dependency_identifierContext>(ctx), "dependency");
    Zarn::Dependency dependency;
    if (auto* direct = childOf<ZarnTopParser::Direct_dependencyContext>(written))
        dependency = takeResult<Zarn::Dependency>(visitDirect_dependency(direct));
    else
        dependency = takeResult<Zarn::Dependency>(
            visitDependency_macro(requireNode(childOf<ZarnTopParser::Dependency_macroContext>(written), "dependency")));
    auto* macro = std::get_if<Zarn::DependencyMacro>(&dependency.target);

    auto parameters = childrenOf<ZarnTopParser::Dependency_parameterContext>(ctx);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        auto* parameter = parameters[i];
        if (tokenOf(parameter, ZarnTopParser::DOT)) {
            if (macro == nullptr)
                throw Zarn::ZarnException(
                    "The source parameter marker '.' can only be used with a dynamic dependency.");
            if (i != 0)
                throw Zarn::ZarnException("The source parameter marker '.' must be the first dependency parameter.");
            macro->hasSourceParameter = true;
        } else {
            dependency.parameters.push_back(
                takeResult<Zarn::Identifier>(visitIdentifier(
                    requireNode(childOf<ZarnTopParser::IdentifierContext>(parameter), "dependency"))));
        }
    }
    auto* modifier = childOf<ZarnTopParser::Dependency_modifierContext>(ctx);
    if (modifier && tokenOf(modifier, ZarnTopParser::PLUS))
        dependency.modifier = 1;
    if (auto* alias = childOf<ZarnTopParser::Dependency_aliasContext>(ctx)) {
        if (tokenOf(alias, ZarnTopParser::ALIAS))
            dependency.aliasKind = 1;
        else if (tokenOf(alias, ZarnTopParser::MERGE_ALIAS))
            dependency.aliasKind = 2;
        dependency.alias = nodeText(tokenOf(ctx, ZarnTopParser::IDENTIFIER));
    }
    return makeResult(std::move(dependency));
}
