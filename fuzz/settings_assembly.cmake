veldan_add_fuzzer(settings_assembly
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_assembly.cpp
  LIBS VELDANsettings VELDANstream)
