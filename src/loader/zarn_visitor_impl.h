// The one parse-tree visitor of the build language: it turns the trees of unit
// files, project files, the registry file and single assignments into values,
// contexts, targets, units and records.
//
// Every visit returns a VisitResult; take results out with takeResult<T> (or
// takeOwned<T> for the visits that hand out new objects by raw pointer).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "loader/visit_result.h"
#include "parser/ZarnTopParser.h"
#include "parser/ZarnTopParserBaseVisitor.h"
#include "types/zarn_context_types.h"

// What kind of text a visitor reads. The values are plain ints, as the
// visitor's field holds them; the struct only scopes the names.
struct SourceKind {
    enum : int {
        Unit = 0,      // a unit file or one assignment text
        Project = 1,   // a project file
        Registry = 2,  // the registry file
    };
};

class ZarnVisitorImpl : public ZarnTopParserBaseVisitor {
public:
    // The content of one "{ ... }" block.
    struct UnitContextData {
        std::vector<Zarn::Assignment> assignments;  // in text order
        std::vector<std::pair<Zarn::Condition, std::shared_ptr<Zarn::ContextTemplate>>> conditions;
    };

    ZarnVisitorImpl(std::filesystem::path baseDirectory, int sourceKind);

    std::filesystem::path baseDirectory;  // relative path literals are resolved against it
    std::string projectName;              // project part of every target's name
    std::string unitName;                 // unit part of every target's name; set by a "unit" line
    int sourceKind = SourceKind::Unit;
    bool allowMustModifier = false;  // true while a tool definition's block is visited

    // Expressions. Results: OperatorType or nothing; Condition;
    // UnitContextData* (new, the caller owns it); Identifier; Segment;
    // IndexExpr; ZarnValuePtr (may be empty); shared_ptr<ZarnList>;
    // Assignment; AssignType or nothing.
    antlrcpp::Any visitBool_operator(ZarnTopParser::Bool_operatorContext* ctx) override;
    antlrcpp::Any visitCondition(ZarnTopParser::ConditionContext* ctx) override;
    antlrcpp::Any visitContext(ZarnTopParser::ContextContext* ctx) override;
    antlrcpp::Any visitIdentifier(ZarnTopParser::IdentifierContext* ctx) override;
    antlrcpp::Any visitSegment(ZarnTopParser::SegmentContext* ctx) override;
    antlrcpp::Any visitIndexExpr(ZarnTopParser::IndexExprContext* ctx) override;
    antlrcpp::Any visitValueNode(ZarnTopParser::ValueNodeContext* ctx) override;
    antlrcpp::Any visitList(ZarnTopParser::ListContext* ctx) override;
    antlrcpp::Any visitAssignment(ZarnTopParser::AssignmentContext* ctx) override;
    antlrcpp::Any visitAssign_operator(ZarnTopParser::Assign_operatorContext* ctx) override;

    // Unit files. Results: Unit* and Target* (new, the caller owns them);
    // Dependency.
    antlrcpp::Any visitZarnUnit(ZarnTopParser::ZarnUnitContext* ctx) override;
    antlrcpp::Any visitTarget(ZarnTopParser::TargetContext* ctx) override;
    antlrcpp::Any visitDependency(ZarnTopParser::DependencyContext* ctx) override;
    antlrcpp::Any visitDirect_dependency(ZarnTopParser::Direct_dependencyContext* ctx) override;
    antlrcpp::Any visitDependency_macro(ZarnTopParser::Dependency_macroContext* ctx) override;

    // Project and registry files. Results: ZarnRegData; ZarnRegProject;
    // vector<ZarnRegProject>; BuildToolDefinition; vector<BuildToolDefinition>;
    // ProjectData; ProjectImport (four visits); vector<ProjectImport>; Profile.
    antlrcpp::Any visitZarnRegistry(ZarnTopParser::ZarnRegistryContext* ctx) override;
    antlrcpp::Any visitProject(ZarnTopParser::ProjectContext* ctx) override;
    antlrcpp::Any visitProjects(ZarnTopParser::ProjectsContext* ctx) override;
    antlrcpp::Any visitBuild_tool(ZarnTopParser::Build_toolContext* ctx) override;
    antlrcpp::Any visitBuild_tools(ZarnTopParser::Build_toolsContext* ctx) override;
    antlrcpp::Any visitZarnProject(ZarnTopParser::ZarnProjectContext* ctx) override;
    antlrcpp::Any visitProj_path_import(ZarnTopParser::Proj_path_importContext* ctx) override;
    antlrcpp::Any visitProj_registry_import(ZarnTopParser::Proj_registry_importContext* ctx) override;
    antlrcpp::Any visitProj_import(ZarnTopParser::Proj_importContext* ctx) override;
    antlrcpp::Any visitProj_import_section(ZarnTopParser::Proj_import_sectionContext* ctx) override;
    antlrcpp::Any visitProfile(ZarnTopParser::ProfileContext* ctx) override;

private:
    // visitContext of a block, moved into a new shared template.
    std::shared_ptr<Zarn::ContextTemplate> visitBlockTemplate(ZarnTopParser::ContextContext* ctx);
    // Moves a block's assignments and conditional blocks into a template.
    static void moveBlockInto(UnitContextData& data, Zarn::ContextTemplate& block);
};
