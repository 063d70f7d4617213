# Platform layer: event hand-over latency, message posting throughput, text
# conversion speed.
add_executable(bench_platform ${CMAKE_CURRENT_LIST_DIR}/platform.cpp)
target_link_libraries(bench_platform PRIVATE VELDANplatform benchmark::benchmark)
