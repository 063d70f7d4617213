veldan_add_fuzzer(settings_script
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_script_fuzz.cpp
  LIBS VELDANsettings VELDANstream)
