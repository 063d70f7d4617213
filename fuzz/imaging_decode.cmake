# Every picture decoder of the imaging layer, fed from memory.
veldan_add_fuzzer(imaging_decode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/imaging_decode.cpp
  LIBS VELDANimaging)
