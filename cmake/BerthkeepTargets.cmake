# Common settings for every target of the project (no global flags). The
# sanitizer builds instrument every target of ours the same way, so a library
# loaded or a helper spawned by a test is checked as well; any finding aborts.
function(berthkeep_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(BERTHKEEP_BUILD_FUZZERS)
    set(sanitizers fuzzer-no-link,address,undefined)
  elseif(BERTHKEEP_SANITIZE)
    set(sanitizers address,undefined)
  else()
    return()
  endif()
  target_compile_options(${target} PRIVATE
    -fsanitize=${sanitizers} -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  # clang 14 cannot emit its function-type check in coroutines; it must come
  # after -fsanitize=undefined, which turns the check on.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE -fno-sanitize=function)
  endif()
  target_link_options(${target} PRIVATE -fsanitize=address,undefined)
endfunction()

# One GoogleTest executable per module, registered test by test with CTest. The
# tests that LONG_TESTS (a GoogleTest filter) names get ten minutes rather than
# two: they drive a whole cycle through many instrumented child processes, which
# a loaded machine slows several times over, and they bound their own waits.
function(berthkeep_add_test_executable target)
  cmake_parse_arguments(ARG "" "LONG_TESTS" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  berthkeep_target_defaults(${target})
  target_link_libraries(${target} PRIVATE berthkeep_test_support ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  set(environment ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(ARG_LONG_TESTS)
    gtest_discover_tests(${target}
      DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_LONG_TESTS}"
      PROPERTIES TIMEOUT 120 ${environment})
    gtest_discover_tests(${target}
      DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_LONG_TESTS}"
      PROPERTIES TIMEOUT 600 ${environment})
  else()
    gtest_discover_tests(${target}
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 120 ${environment})
  endif()
endfunction()

# A module library made of the sources found under the given folders (relative to
# the calling CMakeLists). Nothing is created while a module has no sources yet.
# Include paths: apps/mac/Sources, the repository root (for platform/ and core/).
function(berthkeep_module_library target type)
  cmake_parse_arguments(ARG "" "" "GLOBS;EXCLUDE_REGEX;LIBRARIES" ${ARGN})
  set(sources "")
  foreach(pattern IN LISTS ARG_GLOBS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${pattern}")
    list(APPEND sources ${found})
  endforeach()
  if(ARG_EXCLUDE_REGEX AND sources)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE_REGEX}")
  endif()
  list(FILTER sources INCLUDE REGEX "\\.(cpp|c)$")
  if(NOT sources)
    return()
  endif()
  add_library(${target} ${type} ${sources})
  berthkeep_target_defaults(${target})
  target_include_directories(${target} PUBLIC
    "${PROJECT_SOURCE_DIR}/apps/mac/Sources"
    "${PROJECT_SOURCE_DIR}")
  # Module targets may be defined in folders read later: links are resolved
  # once every folder is in (berthkeep_resolve_module_links).
  set_property(TARGET ${target} PROPERTY BERTHKEEP_MODULE_LINKS ${ARG_LIBRARIES})
  set_property(GLOBAL APPEND PROPERTY BERTHKEEP_MODULE_TARGETS ${target})
endfunction()

# Links each module library to the libraries it asked for that exist.
function(berthkeep_resolve_module_links)
  get_property(targets GLOBAL PROPERTY BERTHKEEP_MODULE_TARGETS)
  foreach(target IN LISTS targets)
    get_property(libraries TARGET ${target} PROPERTY BERTHKEEP_MODULE_LINKS)
    foreach(library IN LISTS libraries)
      if(TARGET ${library} OR library MATCHES "::")
        target_link_libraries(${target} PUBLIC ${library})
      endif()
    endforeach()
  endforeach()
endfunction()

# What a program runs with but does not link: the core library it opens, the
# helper it spawns, the stand-in tools. Those targets may be defined in folders
# read later, so the dependencies are added once every folder is in
# (berthkeep_resolve_runtime_dependencies); building the program alone then
# builds them too.
function(berthkeep_runs_with target)
  set_property(TARGET ${target} APPEND PROPERTY BERTHKEEP_RUNS_WITH ${ARGN})
  set_property(GLOBAL APPEND PROPERTY BERTHKEEP_PROGRAM_TARGETS ${target})
endfunction()

# A missing one stops the configure step: a program built without it starts
# and only later finds its core library or helper absent.
function(berthkeep_resolve_runtime_dependencies)
  get_property(programs GLOBAL PROPERTY BERTHKEEP_PROGRAM_TARGETS)
  foreach(program IN LISTS programs)
    get_property(dependencies TARGET ${program} PROPERTY BERTHKEEP_RUNS_WITH)
    foreach(dependency IN LISTS dependencies)
      if(NOT TARGET ${dependency})
        message(FATAL_ERROR "${program} runs with ${dependency}, which no folder of the tree defines")
      endif()
      add_dependencies(${program} ${dependency})
    endforeach()
  endforeach()
endfunction()

# Test executable of one module: every *.cpp of the calling folder, linked to the
# given libraries that exist so far; LONG_TESTS as above.
function(berthkeep_module_tests target)
  cmake_parse_arguments(ARG "" "LONG_TESTS" "LIBRARIES" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  set(libraries "")
  foreach(library IN LISTS ARG_LIBRARIES)
    if(TARGET ${library})
      list(APPEND libraries ${library})
    endif()
  endforeach()
  berthkeep_add_test_executable(${target} SOURCES ${sources} LIBRARIES ${libraries}
    LONG_TESTS "${ARG_LONG_TESTS}")
endfunction()
