#pragma once
// Parses test texts and runs the visitor on them, keeping the whole pipeline
// alive as long as the trees are used.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "antlr4-runtime.h"
#include "loader/project_data.h"
#include "loader/zarn_reg_data.h"
#include "loader/zarn_unit.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"

namespace LoaderTest {

// Counts lexer and parser errors without printing them.
class QuietCounter : public antlr4::BaseErrorListener {
public:
    void syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t, size_t, const std::string&,
                     std::exception_ptr) override
    {
        ++errors;
    }
    int errors = 0;
};

class Parsed {
public:
    explicit Parsed(const std::string& text);

    // Each parses the text with its start rule; a syntax error fails the
    // test's precondition by throwing std::runtime_error.
    ZarnTopParser::ZarnUnitContext* unitBody();
    ZarnTopParser::ZarnProjectContext* projectBody();
    ZarnTopParser::ZarnRegistryContext* registryBody();
    ZarnTopParser::AssignmentContext* assignment();

    QuietCounter counter;
    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    ZarnTopParser parser;

private:
    void checkErrors();
};

// The whole text through the visitor of its kind.
std::unique_ptr<Zarn::Unit> visitUnitText(const std::string& text, const std::filesystem::path& base = "/base");
Zarn::ProjectData visitProjectText(const std::string& text, const std::filesystem::path& base = "/base");
ZarnRegData visitRegistryText(const std::string& text, const std::filesystem::path& base = "/base");
// One assignment, visited as it would be in a file of the given kind.
Zarn::Assignment visitAssignmentText(const std::string& text, int sourceKind = SourceKind::Unit,
                                     const std::filesystem::path& base = "/base");

}  // namespace LoaderTest
