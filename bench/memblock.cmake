# Throughput of the byte queue (one thread, and one writer with one reader)
# and of index walks over an item list.
add_executable(bench_memblock ${CMAKE_CURRENT_LIST_DIR}/memblock.cpp)
target_link_libraries(bench_memblock PRIVATE VELDANmemblock benchmark::benchmark Threads::Threads)
