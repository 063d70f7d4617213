# Project file save/load against libxml2's streaming floor.
find_package(LibXml2 REQUIRED)
add_executable(bench_project_file ${CMAKE_CURRENT_SOURCE_DIR}/project_file_bench.cpp)
target_link_libraries(bench_project_file PRIVATE VELDANPanoramaProject LibXml2::LibXml2 benchmark::benchmark)
