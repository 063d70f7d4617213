# The preview view with an 88-tile project of large camera JPEGs, measured
# offscreen: first painted flow chart, all thumbnails shown, the composite,
# and the longest stall of the window thread meanwhile.
if(VELDAN_BUILD_GUI AND TARGET VELDANpreviewqt)
  add_executable(bench_preview_view ${CMAKE_CURRENT_LIST_DIR}/preview_view.cpp
                                    ${CMAKE_SOURCE_DIR}/preview/qt/screenshots/DemoProject.cpp)
  target_include_directories(bench_preview_view PRIVATE ${CMAKE_SOURCE_DIR}/preview/qt/screenshots
                                                        ${CMAKE_SOURCE_DIR}/tests/previewcore
                                                        ${CMAKE_SOURCE_DIR}/tests/support
                                                        ${CMAKE_CURRENT_LIST_DIR}/support)
  target_link_libraries(bench_preview_view PRIVATE VELDANpreviewqt VELDANimaging)
endif()
