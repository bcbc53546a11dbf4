# corvane_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABEL unit|e2e|fidelity] [TIMEOUT s])
#
# One GoogleTest binary; every test case becomes its own CTest test (so `ctest -j2` spreads them), carrying the
# label and a timeout. Binaries find the programs under test through CORVANE_BIN_DIR and the repository through
# CORVANE_SOURCE_DIR.
include(GoogleTest)

function(corvane_add_gtest name)
  cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  # Fixtures and fakes shared by tests live in tests/support/.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    CORVANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    CORVANE_LIB_DIR="${CMAKE_BINARY_DIR}/lib"
    CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT})
endfunction()
