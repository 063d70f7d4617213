# Arbitrary bytes read as a list dump (and as sequential MemBlockDesc fields).
veldan_add_fuzzer(memblock_dump
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/memblock_dump.cpp
  LIBS VELDANmemblock)
