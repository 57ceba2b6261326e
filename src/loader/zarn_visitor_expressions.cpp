// Visits of values, identifiers, conditions, blocks and assignments.
#include <stdexcept>
#include <string>
#include <utility>

#include "loader/visit_tree_text.h"
#include "loader/zarn_visitor_impl.h"
#include "types/zarn_context_value.h"
#include "types/zarn_path_string.h"
#include "types/zarn_value_types.h"

using Zarn::handOver;
using Zarn::literalContent;
using Zarn::makeResult;
using Zarn::nodeText;
using Zarn::requireNode;
using Zarn::takeOwned;
using Zarn::takeResult;
using Zarn::VisitResult;
using Zarn::withoutQuotes;

ZarnVisitorImpl::ZarnVisitorImpl(std::filesystem::path baseDirectory, int sourceKind)
    : baseDirectory(std::move(baseDirectory)), sourceKind(sourceKind)
{
}

antlrcpp::Any ZarnVisitorImpl::visitBool_operator(ZarnTopParser::Bool_operatorContext* ctx)
{
    if (ctx->EQUALS())
        return makeResult(Zarn::Condition::Equal);
    if (ctx->NEQUALS())
        return makeResult(Zarn::Condition::NotEqual);
    if (ctx->LESSER())
        return makeResult(Zarn::Condition::Less);
    if (ctx->GREATER())
        return makeResult(Zarn::Condition::Greater);
    return nullptr;
}

antlrcpp::Any ZarnVisitorImpl::visitCondition(ZarnTopParser::ConditionContext* ctx)
{
    auto* expression = requireNode(ctx->bool_expr(), "condition");
    Zarn::Condition condition;
    condition.lhs = std::make_shared<Zarn::ZarnIdentifier>(
        takeResult<Zarn::Identifier>(visitIdentifier(requireNode(expression->identifier(), "condition"))));
    if (expression->valueNode() == nullptr) {
        condition.op = Zarn::Condition::Test;
        return makeResult(std::move(condition));
    }
    condition.rhs = takeResult<Zarn::ZarnValuePtr>(visitValueNode(expression->valueNode()));
    // A block operand gives no value outside unit files; comparing with
    // nothing cannot be evaluated.
    if (!condition.rhs)
        throw std::runtime_error("Condition operand cannot be a block in this context.");
    VisitResult op = visitBool_operator(requireNode(expression->bool_operator(), "condition"));
    if (Zarn::isNoResult(op))
        throw std::runtime_error("Condition has no comparison operator.");
    condition.op = takeResult<Zarn::Condition::OperatorType>(std::move(op));
    return makeResult(std::move(condition));
}

antlrcpp::Any ZarnVisitorImpl::visitContext(ZarnTopParser::ContextContext* ctx)
{
    auto data = std::make_unique<UnitContextData>();
    for (auto* assignment : ctx->assignment())
        data->assignments.push_back(takeResult<Zarn::Assignment>(visitAssignment(assignment)));
    for (auto* conditional : ctx->cond_context()) {
        auto condition = takeResult<Zarn::Condition>(
            visitCondition(requireNode(conditional->condition(), "conditional block")));
        auto nested = visitBlockTemplate(requireNode(conditional->context(), "conditional block"));
        data->conditions.emplace_back(std::move(condition), std::move(nested));
    }
    return handOver(std::move(data));
}

std::shared_ptr<Zarn::ContextTemplate> ZarnVisitorImpl::visitBlockTemplate(ZarnTopParser::ContextContext* ctx)
{
    auto data = takeOwned<UnitContextData>(visitContext(ctx));
    auto block = std::make_shared<Zarn::ContextTemplate>();
    moveBlockInto(*data, *block);
    return block;
}

void ZarnVisitorImpl::moveBlockInto(UnitContextData& data, Zarn::ContextTemplate& block)
{
    block.assignments = std::move(data.assignments);
    block.conditions.reserve(data.conditions.size());
    for (auto& [condition, nested] : data.conditions) {
        condition.context = std::move(nested);
        block.conditions.push_back(std::move(condition));
    }
    data.conditions.clear();
}

antlrcpp::Any ZarnVisitorImpl::visitIdentifier(ZarnTopParser::IdentifierContext* ctx)
{
    Zarn::Identifier identifier;
    for (auto* segment : ctx->segment())
        identifier.segments.push_back(takeResult<Zarn::Identifier::Segment>(visitSegment(segment)));
    return makeResult(std::move(identifier));
}

antlrcpp::Any ZarnVisitorImpl::visitSegment(ZarnTopParser::SegmentContext* ctx)
{
    Zarn::Identifier::Segment segment;
    segment.name = nodeText(ctx->IDENTIFIER());
    for (auto* index : ctx->index())
        segment.indexes.push_back(
            takeResult<Zarn::IndexExpr>(visitIndexExpr(requireNode(index->indexExpr(), "index"))));
    return makeResult(std::move(segment));
}

antlrcpp::Any ZarnVisitorImpl::visitIndexExpr(ZarnTopParser::IndexExprContext* ctx)
{
    if (ctx->NUMBER())
        return makeResult(Zarn::IndexExpr(std::in_place_index<0>,
                                          static_cast<uint64_t>(std::stoull(nodeText(ctx->NUMBER())))));
    if (ctx->identifier()) {
        auto nested = std::make_shared<Zarn::Identifier>(
            takeResult<Zarn::Identifier>(visitIdentifier(ctx->identifier())));
        return makeResult(Zarn::IndexExpr(std::move(nested)));
    }
    if (auto* range = ctx->range()) {
        uint64_t from = static_cast<uint64_t>(std::stoull(nodeText(range->NUMBER(0))));
        uint64_t to = static_cast<uint64_t>(std::stoull(nodeText(range->NUMBER(1))));
        return makeResult(Zarn::IndexExpr(std::make_pair(from, to)));
    }
    // A pattern index has no meaning; taking it as index 0 would pick a
    // member silently.
    if (ctx->regex())
        throw std::runtime_error("A pattern index (" + nodeText(ctx->regex()->RAW_STRING()) +
                                 ") is not supported.");
    throw std::runtime_error("Malformed index in parse tree.");
}

antlrcpp::Any ZarnVisitorImpl::visitValueNode(ZarnTopParser::ValueNodeContext* ctx)
{
    if (ctx->STRING())
        return makeResult(Zarn::makeString(withoutQuotes(nodeText(ctx->STRING()))));
    if (ctx->RAW_STRING()) {
        Zarn::ZarnValuePtr value = std::make_shared<Zarn::ZarnRawString>(literalContent(nodeText(ctx->RAW_STRING())));
        return makeResult(std::move(value));
    }
    if (ctx->PATH_STRING()) {
        std::string text = literalContent(nodeText(ctx->PATH_STRING()));
        if (sourceKind == SourceKind::Project) {
            std::filesystem::path path(text);
            if (path.has_root_directory())
                return makeResult(Zarn::makeString(path.string()));
            // Only the written part expands; the project's directory is taken as it is.
            const std::string directory = (baseDirectory / "").string();
            auto value = std::make_shared<Zarn::ZarnString>((baseDirectory / path).string());
            if (value->toString().compare(0, directory.size(), directory) == 0)
                value->setVerbatimPrefix(directory.size());
            return makeResult(Zarn::ZarnValuePtr(std::move(value)));
        }
        return makeResult(Zarn::makePathString(std::move(text), baseDirectory));
    }
    if (ctx->identifier()) {
        Zarn::ZarnValuePtr value = std::make_shared<Zarn::ZarnIdentifier>(
            takeResult<Zarn::Identifier>(visitIdentifier(ctx->identifier())));
        return makeResult(std::move(value));
    }
    if (ctx->NUMBER()) {
        Zarn::ZarnValuePtr value = std::make_shared<Zarn::ZarnInt>(std::stoi(nodeText(ctx->NUMBER())));
        return makeResult(std::move(value));
    }
    if (ctx->list()) {
        Zarn::ZarnValuePtr value = takeResult<std::shared_ptr<Zarn::ZarnList>>(visitList(ctx->list()));
        return makeResult(std::move(value));
    }
    if (ctx->context() && (sourceKind == SourceKind::Unit || sourceKind == SourceKind::Registry)) {
        auto block = visitBlockTemplate(ctx->context());
        // In the registry "{}" has always meant no value, and saves write a
        // missing value that way.
        if (sourceKind == SourceKind::Registry && block->assignments.empty() && block->conditions.empty())
            return makeResult(Zarn::ZarnValuePtr{});
        Zarn::ZarnValuePtr value = std::make_shared<Zarn::ZarnContext>(block->createContext());
        return makeResult(std::move(value));
    }
    return makeResult(Zarn::ZarnValuePtr{});
}

antlrcpp::Any ZarnVisitorImpl::visitList(ZarnTopParser::ListContext* ctx)
{
    auto list = std::make_shared<Zarn::ZarnList>();
    for (auto* node : ctx->valueNode()) {
        auto member = takeResult<Zarn::ZarnValuePtr>(visitValueNode(node));
        // Outside unit files a block gives no value, and a list cannot hold
        // nothing.
        if (!member)
            throw std::runtime_error("List member cannot be a block in this context.");
        list->append(*member);
    }
    return makeResult(std::move(list));
}

antlrcpp::Any ZarnVisitorImpl::visitAssignment(ZarnTopParser::AssignmentContext* ctx)
{
    uint32_t flags = Zarn::Assignment::NoFlags;
    if (auto* modifier = ctx->assignment_modifier()) {
        if (modifier->UP()) {
            flags = Zarn::Assignment::OutputFlag;
        } else if (modifier->MUST()) {
            if (sourceKind != SourceKind::Registry && !allowMustModifier)
                throw std::runtime_error("'!' assignment modifier is not allowed in this context.");
            flags = Zarn::Assignment::ToolFlag;
        }
    }
    Zarn::ZarnValuePtr value;
    if (ctx->valueNode())
        value = takeResult<Zarn::ZarnValuePtr>(visitValueNode(ctx->valueNode()));
    Zarn::Assignment::AssignType type = Zarn::Assignment::Declare;
    if (ctx->assign_operator()) {
        VisitResult op = visitAssign_operator(ctx->assign_operator());
        if (!Zarn::isNoResult(op))
            type = takeResult<Zarn::Assignment::AssignType>(std::move(op));
    }
    return makeResult(Zarn::Assignment(nodeText(ctx->IDENTIFIER()), std::move(value), type, flags));
}

antlrcpp::Any ZarnVisitorImpl::visitAssign_operator(ZarnTopParser::Assign_operatorContext* ctx)
{
    if (ctx->EQUALS())
        return makeResult(Zarn::Assignment::Set);
    if (ctx->APPEND())
        return makeResult(Zarn::Assignment::Append);
    if (ctx->ASSIGNEMPTY())
        return makeResult(Zarn::Assignment::SetIfUnset);
    return nullptr;
}
