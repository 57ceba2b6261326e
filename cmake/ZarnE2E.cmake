# End-to-end tests: one test binary that runs the built zarn program in
# temporary directories with a temporary HOME.
file(GLOB zarn_e2e_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
# The fake toolchains serve end-to-end tests as well.
list(APPEND zarn_e2e_sources ${CMAKE_SOURCE_DIR}/tests/tools/fake_toolchain.cpp)
if(TARGET zarn AND zarn_e2e_sources)
  add_executable(zarn_e2e_tests ${zarn_e2e_sources})
  target_compile_options(zarn_e2e_tests PRIVATE ${ZARN_WARNINGS})
  target_include_directories(zarn_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(zarn_e2e_tests PRIVATE
    ZARN_BINARY="$<TARGET_FILE:zarn>"
    ZARN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(zarn_e2e_tests PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
  add_dependencies(zarn_e2e_tests zarn)
  gtest_discover_tests(zarn_e2e_tests
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS threaded  # the program runs job threads
    DISCOVERY_TIMEOUT 60)
endif()
