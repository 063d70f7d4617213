# VELDAN_SANITIZE: "" (none), "address" (ASan + UBSan) or "thread" (TSan).
set(VELDAN_SANITIZE "" CACHE STRING "Sanitizer build: address or thread")
if(VELDAN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VELDAN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VELDAN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VELDAN_SANITIZE must be empty, address or thread")
endif()

# Test labels: suites that exercise threads carry the label "concurrency" so
# that CI can run them once more under ThreadSanitizer; all others "unit".
function(veldan_add_test_suite name)
  cmake_parse_arguments(ARG "CONCURRENCY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # One label per suite: gtest_discover_tests flattens a list of labels, so a
  # suite carries either "unit" or "concurrency", never both.
  if(ARG_CONCURRENCY)
    set(label concurrency)
  else()
    set(label unit)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
endfunction()
