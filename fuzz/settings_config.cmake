veldan_add_fuzzer(settings_config
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_config.cpp
  LIBS VELDANsettings VELDANstream)
