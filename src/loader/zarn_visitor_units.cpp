// Visits of unit files: the unit, its targets and their dependencies.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "loader/visit_tree_text.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "types/zarn_exceptions.h"

using Zarn::handOver;
using Zarn::makeResult;
using Zarn::nodeText;
using Zarn::requireNode;
using Zarn::takeOwned;
using Zarn::takeResult;

antlrcpp::Any ZarnVisitorImpl::visitZarnUnit(ZarnTopParser::ZarnUnitContext* ctx)
{
    auto unit = std::make_unique<Zarn::Unit>();
    // Before any target, so that every target's name carries the unit.
    if (auto* unitLine = ctx->unit_name()) {
        unitName = nodeText(unitLine->IDENTIFIER());
        unit->name = unitName;
    }
    for (auto* target : ctx->target()) {
        auto visited = takeOwned<Zarn::Target>(visitTarget(target));
        unit->addTarget(std::move(*visited));
    }
    return handOver(std::move(unit));
}

antlrcpp::Any ZarnVisitorImpl::visitTarget(ZarnTopParser::TargetContext* ctx)
{
    auto target = std::make_unique<Zarn::Target>();
    target->name = Zarn::QualifiedTargetName(projectName, unitName, nodeText(ctx->IDENTIFIER()));
    for (auto* parameter : ctx->parameter_name())
        target->parameterNames.push_back(nodeText(parameter->IDENTIFIER()));
    auto dependencies = ctx->dependency();
    target->dependencies.reserve(dependencies.size());
    for (auto* dependency : dependencies)
        target->dependencies.push_back(takeResult<Zarn::Dependency>(visitDependency(dependency)));
    auto data = takeOwned<UnitContextData>(visitContext(requireNode(ctx->context(), "target")));
    moveBlockInto(*data, *target);
    return handOver(std::move(target));
}

antlrcpp::Any ZarnVisitorImpl::visitDirect_dependency(ZarnTopParser::Direct_dependencyContext* ctx)
{
    // [project "/"] [unit "::"] target: counted from the end.
    auto names = ctx->IDENTIFIER();
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
    macro.identifier = takeResult<Zarn::Identifier>(visitIdentifier(requireNode(ctx->identifier(), "dependency")));
    Zarn::Dependency dependency;
    dependency.target = std::move(macro);
    return makeResult(std::move(dependency));
}

antlrcpp::Any ZarnVisitorImpl::visitDependency(ZarnTopParser::DependencyContext* ctx)
{
    auto* written = requireNode(ctx->dependency_identifier(), "dependency");
    Zarn::Dependency dependency;
    if (written->direct_dependency())
        dependency = takeResult<Zarn::Dependency>(visitDirect_dependency(written->direct_dependency()));
    else
        dependency = takeResult<Zarn::Dependency>(
            visitDependency_macro(requireNode(written->dependency_macro(), "dependency")));
    auto* macro = std::get_if<Zarn::DependencyMacro>(&dependency.target);

    auto parameters = ctx->dependency_parameter();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        auto* parameter = parameters[i];
        if (parameter->DOT()) {
            if (macro == nullptr)
                throw Zarn::ZarnException(
                    "The source parameter marker '.' can only be used with a dynamic dependency.");
            if (i != 0)
                throw Zarn::ZarnException("The source parameter marker '.' must be the first dependency parameter.");
            macro->hasSourceParameter = true;
        } else {
            dependency.parameters.push_back(
                takeResult<Zarn::Identifier>(visitIdentifier(requireNode(parameter->identifier(), "dependency"))));
        }
    }
    if (auto* modifier = ctx->dependency_modifier(); modifier && modifier->PLUS())
        dependency.modifier = 1;
    if (auto* alias = ctx->dependency_alias()) {
        if (alias->ALIAS())
            dependency.aliasKind = 1;
        else if (alias->MERGE_ALIAS())
            dependency.aliasKind = 2;
        dependency.alias = nodeText(ctx->IDENTIFIER());
    }
    return makeResult(std::move(dependency));
}
