#include "loader/visit_support.h"

#include <stdexcept>

namespace LoaderTest {

Parsed::Parsed(const std::string& text) : input(text), lexer(&input), tokens(&lexer), parser(&tokens)
{
    lexer.removeErrorListeners();
    lexer.addErrorListener(&counter);
    parser.removeErrorListeners();
    parser.addErrorListener(&counter);
}

void Parsed::checkErrors()
{
    if (counter.errors > 0)
        throw std::runtime_error("test text has syntax errors");
}

ZarnTopParser::ZarnUnitContext* Parsed::unitBody()
{
    auto* tree = parser.unitFile();
    checkErrors();
    return tree->zarnUnit();
}

ZarnTopParser::ZarnProjectContext* Parsed::projectBody()
{
    auto* tree = parser.projFile();
    checkErrors();
    return tree->zarnProject();
}

ZarnTopParser::ZarnRegistryContext* Parsed::registryBody()
{
    auto* tree = parser.registryFile();
    checkErrors();
    return tree->zarnRegistry();
}

ZarnTopParser::AssignmentContext* Parsed::assignment()
{
    auto* tree = parser.assignment();
    checkErrors();
    return tree;
}

std::unique_ptr<Zarn::Unit> visitUnitText(const std::string& text, const std::filesystem::path& base)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor(base, SourceKind::Unit);
    return Zarn::takeOwned<Zarn::Unit>(visitor.visitZarnUnit(parsed.unitBody()));
}

Zarn::ProjectData visitProjectText(const std::string& text, const std::filesystem::path& base)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor(base, SourceKind::Project);
    return Zarn::takeResult<Zarn::ProjectData>(visitor.visitZarnProject(parsed.projectBody()));
}

ZarnRegData visitRegistryText(const std::string& text, const std::filesystem::path& base)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor(base, SourceKind::Registry);
    return Zarn::takeResult<ZarnRegData>(visitor.visitZarnRegistry(parsed.registryBody()));
}

Zarn::Assignment visitAssignmentText(const std::string& text, int sourceKind, const std::filesystem::path& base)
{
    Parsed parsed(text);
    ZarnVisitorImpl visitor(base, sourceKind);
    return Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(parsed.assignment()));
}

}  // namespace LoaderTest
