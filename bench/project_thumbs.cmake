# Thumbnails of 24 large JPEGs through the project's image code and worker
# pool, against vipsthumbnail on the same files with the same thread count.
add_executable(bench_project_thumbs ${CMAKE_CURRENT_LIST_DIR}/project_thumbs.cpp)
target_include_directories(bench_project_thumbs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_project_thumbs PRIVATE VELDANPanoramaProject VELDANimaging VELDANplatform Threads::Threads)
