# Common settings for every target of the project (no global flags).
function(berthkeep_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# One GoogleTest executable per module, registered test by test with CTest.
function(berthkeep_add_test_executable target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  berthkeep_target_defaults(${target})
  target_link_libraries(${target} PRIVATE berthkeep_test_support ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
