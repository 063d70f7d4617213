# Relay command rate of the bus driver against the virtual head at 19200
# baud, as a share of the wire limit, and the driver's CPU time on an idle bus.
add_executable(bench_driver_headsim
  ${CMAKE_CURRENT_LIST_DIR}/driver_headsim.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/VirtualHead.cpp)
target_include_directories(bench_driver_headsim PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
                                                        ${CMAKE_CURRENT_LIST_DIR}/support)
target_compile_definitions(bench_driver_headsim PRIVATE
  VELDAN_HEADSIM_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/veldan-headsim")
target_link_libraries(bench_driver_headsim PRIVATE Pelkor benchmark::benchmark Threads::Threads)
add_dependencies(bench_driver_headsim veldan-headsim)
