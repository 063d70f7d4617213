# The frame decoder of the bus driver under random line bytes.
veldan_add_fuzzer(driver_frames
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/driver_frames.cpp
  LIBS Pelkor)
