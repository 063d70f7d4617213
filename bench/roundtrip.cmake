# The whole round trip on the virtual head: scene, plan, capture with the
# capture-folder monitor, blended preview and nona against the scene.
add_executable(bench_roundtrip
  ${CMAKE_CURRENT_LIST_DIR}/roundtrip.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/RoundTrip.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/PanoramaCompare.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/Nona.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/VirtualHead.cpp)
target_include_directories(bench_roundtrip PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_compile_definitions(bench_roundtrip PRIVATE
  VELDAN_HEADSIM_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/veldan-headsim")
target_link_libraries(bench_roundtrip PRIVATE VELDANpreviewcore VELDANimaging VELDANplatform headsim_core
                                              Threads::Threads)
add_dependencies(bench_roundtrip veldan-headsim VELDANcontrol)
