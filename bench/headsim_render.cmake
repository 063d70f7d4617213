# Virtual head: rendering one camera view from the source panorama.
add_executable(bench_headsim_render ${CMAKE_CURRENT_LIST_DIR}/headsim_render.cpp)
target_link_libraries(bench_headsim_render PRIVATE headsim_core benchmark::benchmark)
