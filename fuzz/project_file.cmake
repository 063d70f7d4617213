# Project files: the reader over hostile documents, and DecodeBase64.
veldan_add_fuzzer(project_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/project_file.cpp
  LIBS VELDANPanoramaProject)
