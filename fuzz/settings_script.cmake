veldan_add_fuzzer(settings_script
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_script.cpp
  LIBS VELDANsettings VELDANstream)
