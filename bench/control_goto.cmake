# How long VELDANcontrol_goto takes for a small move against the virtual
# head's own time for that move.
add_executable(bench_control_goto
  ${CMAKE_CURRENT_LIST_DIR}/control_goto.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/VirtualHead.cpp
  ${CMAKE_SOURCE_DIR}/tests/control/ControlTestSupport.cpp)
target_include_directories(bench_control_goto PRIVATE ${CMAKE_SOURCE_DIR}/tests/control ${CMAKE_SOURCE_DIR}/tests/support)
target_compile_definitions(bench_control_goto PRIVATE
  VELDAN_HEADSIM_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/veldan-headsim")
target_link_libraries(bench_control_goto PRIVATE VELDANcontrol VELDANplatform benchmark::benchmark Threads::Threads)
add_dependencies(bench_control_goto veldan-headsim)
