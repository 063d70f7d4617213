# Loading and saving large scripts, and log lines from several threads.
add_executable(bench_settings ${CMAKE_CURRENT_LIST_DIR}/settings.cpp)
target_link_libraries(bench_settings PRIVATE VELDANsettings VELDANstream benchmark::benchmark Threads::Threads)
