# Thumbnail speed of the imaging layer against vipsthumbnail (libvips-tools),
# header reading, full decoding and the box scaler.
add_executable(bench_imaging ${CMAKE_CURRENT_LIST_DIR}/imaging.cpp)
target_link_libraries(bench_imaging PRIVATE VELDANimaging benchmark::benchmark Threads::Threads)
