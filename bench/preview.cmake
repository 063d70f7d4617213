# The blended preview of a 36-tile project of 24-megapixel JPEGs at
# 2000 x 1000, from cold (no thumbnails) and warm, against nona rendering the
# same project's Hugin export at the same size. The pictures are generated
# once into the build tree.
add_executable(bench_preview ${CMAKE_CURRENT_LIST_DIR}/preview.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/Nona.cpp)
target_include_directories(bench_preview PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_preview PRIVATE VELDANPanoramaProject VELDANimaging VELDANplatform Threads::Threads)
target_compile_definitions(bench_preview PRIVATE VELDAN_BENCH_CACHE="${CMAKE_BINARY_DIR}/bench-cache/preview")
