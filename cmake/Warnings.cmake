# Common compile flags for every target of the project.
add_compile_options(-Wall -Wextra)
if(VELDAN_WERROR)
  add_compile_options(-Werror)
endif()
