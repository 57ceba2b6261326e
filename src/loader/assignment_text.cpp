#include "loader/assignment_text.h"

#include <stdexcept>

#include "loader/input_text.h"
#include "loader/syntax_errors.h"
#include "loader/zarn_visitor_impl.h"
#include "parser/CommonLexer.h"
#include "parser/ZarnTopParser.h"
#include "types/zarn_identifier_value.h"
#include "types/zarn_string.h"

Zarn::Assignment parseAssignmentText(const char* text, std::size_t length,
                                     const std::filesystem::path& baseDirectory)
{
    return parseAssignmentText(std::string_view(text, length), baseDirectory);
}

Zarn::Assignment parseAssignmentText(std::string_view text, const std::filesystem::path& baseDirectory)
{
    antlr4::ANTLRInputStream input;
    Zarn::loadInputText(input, text, "assignment");
    // The lexer keeps the console listener, which shows a stray character;
    // the whole text is lexed first, so one anywhere fails the parse.
    CommonLexer lexer(&input);
    ZarnErrorCounter lexicalErrors("assignment", true);
    lexer.addErrorListener(&lexicalErrors);
    antlr4::CommonTokenStream tokens(&lexer);
    tokens.fill();
    ZarnTopParser parser(&tokens);
    ZarnErrorCounter counter("assignment", true);
    replaceErrorListeners(parser, counter);

    ZarnTopParser::AssignmentContext* tree = parser.assignment();
    if (parser.getNumberOfSyntaxErrors() > 0 || counter.errors > 0 || lexicalErrors.errors > 0)
        throw std::runtime_error("Parsing assignment failed due to syntax errors.");

    ZarnVisitorImpl visitor(baseDirectory, SourceKind::Unit);
    auto assignment = Zarn::takeResult<Zarn::Assignment>(visitor.visitAssignment(tree));
    // "out = result" assigns the text "result", not the variable's value.
    if (dynamic_cast<Zarn::ZarnIdentifier*>(assignment.value.get()))
        assignment.setValue(Zarn::makeString(assignment.value->toString()));
    return assignment;
}
