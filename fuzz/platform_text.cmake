veldan_add_fuzzer(platform_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_text.cpp LIBS VELDANplatform)
