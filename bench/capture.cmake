# A 24-tile capture run of the head control on the virtual head (no byte
# timing, shortest waits): total time against the configured waits and the
# head's own move time, and the overhead per tile.
add_executable(bench_capture
  ${CMAKE_CURRENT_LIST_DIR}/capture.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/VirtualHead.cpp)
target_include_directories(bench_capture PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_compile_definitions(bench_capture PRIVATE
  VELDAN_HEADSIM_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/veldan-headsim")
target_link_libraries(bench_capture PRIVATE VELDANpreviewcore VELDANplatform Threads::Threads)
add_dependencies(bench_capture veldan-headsim VELDANcontrol)
