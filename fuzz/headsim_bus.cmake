# The virtual head's side of the line: arbitrary bytes through the frame
# decoder into the bus modules.
veldan_add_fuzzer(headsim_bus SOURCES ${CMAKE_CURRENT_LIST_DIR}/headsim_bus.cpp LIBS headsim_core)
