# Relay command rate of the bus driver against the 19200 baud wire limit,
# and its CPU time on an idle bus.
add_executable(bench_driver_relay_rate
  ${CMAKE_CURRENT_LIST_DIR}/driver_relay_rate.cpp
  ${PROJECT_SOURCE_DIR}/tests/driver/HeadResponder.cpp)
target_include_directories(bench_driver_relay_rate PRIVATE ${PROJECT_SOURCE_DIR}/tests/driver
                                                           ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_driver_relay_rate PRIVATE Pelkor benchmark::benchmark Threads::Threads)
