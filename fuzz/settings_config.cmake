veldan_add_fuzzer(settings_config
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_config_fuzz.cpp
  LIBS VELDANsettings VELDANstream)
