# Project file save/load against libxml2's streaming floor.
find_package(LibXml2 REQUIRED)
add_executable(bench_project_file ${CMAKE_CURRENT_LIST_DIR}/project_file.cpp)
target_link_libraries(bench_project_file PRIVATE VELDANPanoramaProject LibXml2::LibXml2 benchmark::benchmark)
