# Lexer and parser of the build language, generated at build time from the
# grammars in src/parser into the build tree (never committed).
#
# Debian's antlr4 jar does not work with the antlr4-generator CMake helper,
# so the tool is called directly.

find_package(antlr4-runtime REQUIRED)
find_program(ZARN_ANTLR4 antlr4 PATHS /usr/bin REQUIRED)

set(ZARN_GRAMMAR_DIR ${CMAKE_SOURCE_DIR}/src/parser)
# Code includes the generated headers as "parser/<name>.h".
set(ZARN_GENERATED_ROOT ${CMAKE_BINARY_DIR}/generated)
set(ZARN_GENERATED_DIR ${ZARN_GENERATED_ROOT}/parser)
set(ZARN_ANTLR_FLAGS -Dlanguage=Cpp -visitor -no-listener)

set(zarn_lexer_files
  ${ZARN_GENERATED_DIR}/CommonLexer.h
  ${ZARN_GENERATED_DIR}/CommonLexer.cpp
  ${ZARN_GENERATED_DIR}/CommonLexer.tokens)
set(zarn_parser_files
  ${ZARN_GENERATED_DIR}/ZarnTopParser.h
  ${ZARN_GENERATED_DIR}/ZarnTopParser.cpp
  ${ZARN_GENERATED_DIR}/ZarnTopParserVisitor.h
  ${ZARN_GENERATED_DIR}/ZarnTopParserVisitor.cpp
  ${ZARN_GENERATED_DIR}/ZarnTopParserBaseVisitor.h
  ${ZARN_GENERATED_DIR}/ZarnTopParserBaseVisitor.cpp)

# Plain file names with the grammar directory as working directory, so the
# tool writes straight into the output directory without a path prefix.
add_custom_command(
  OUTPUT ${zarn_lexer_files}
  BYPRODUCTS ${ZARN_GENERATED_DIR}/CommonLexer.interp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZARN_GENERATED_DIR}
  COMMAND ${ZARN_ANTLR4} ${ZARN_ANTLR_FLAGS} -o ${ZARN_GENERATED_DIR} CommonLexer.g4
  DEPENDS ${ZARN_GRAMMAR_DIR}/CommonLexer.g4
  WORKING_DIRECTORY ${ZARN_GRAMMAR_DIR}
  COMMENT "Generating the lexer from CommonLexer.g4"
  VERBATIM)

# The parser takes its token vocabulary from CommonLexer.tokens.
add_custom_command(
  OUTPUT ${zarn_parser_files}
  BYPRODUCTS ${ZARN_GENERATED_DIR}/ZarnTopParser.interp ${ZARN_GENERATED_DIR}/ZarnTopParser.tokens
  COMMAND ${ZARN_ANTLR4} ${ZARN_ANTLR_FLAGS} -lib ${ZARN_GENERATED_DIR} -o ${ZARN_GENERATED_DIR} ZarnTopParser.g4
  DEPENDS ${ZARN_GRAMMAR_DIR}/ZarnTopParser.g4 ${ZARN_GENERATED_DIR}/CommonLexer.tokens
  WORKING_DIRECTORY ${ZARN_GRAMMAR_DIR}
  COMMENT "Generating the parser from ZarnTopParser.g4"
  VERBATIM)

add_library(zarn_parser STATIC
  ${ZARN_GENERATED_DIR}/CommonLexer.cpp
  ${ZARN_GENERATED_DIR}/ZarnTopParser.cpp
  ${ZARN_GENERATED_DIR}/ZarnTopParserVisitor.cpp
  ${ZARN_GENERATED_DIR}/ZarnTopParserBaseVisitor.cpp)
# Generated code is not ours to fix: no warnings for it, and its headers and
# the runtime's are system headers for everyone who includes them.
target_compile_options(zarn_parser PRIVATE -w)
target_include_directories(zarn_parser SYSTEM PUBLIC ${ZARN_GENERATED_ROOT} ${ANTLR4_INCLUDE_DIR})
target_include_directories(zarn_parser PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zarn_parser PUBLIC antlr4_shared)

file(GLOB zarn_parser_test_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/parser/*.cpp)
if(zarn_parser_test_srcs)
  add_executable(zarn_parser_tests ${zarn_parser_test_srcs})
  target_compile_options(zarn_parser_tests PRIVATE ${ZARN_WARNINGS})
  target_include_directories(zarn_parser_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(zarn_parser_tests PRIVATE zarn_parser GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(zarn_parser_tests
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS unit
    DISCOVERY_TIMEOUT 60)
endif()
