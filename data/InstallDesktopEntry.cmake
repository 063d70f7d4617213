# Runs at install time (cmake --install): writes the desktop entry with the
# absolute path of the installed program, under whatever --prefix is given.
# Expects VELDAN_DESKTOP_TEMPLATE, VELDAN_BINDIR (relative or absolute) and
# VELDAN_DATADIR (relative or absolute); CMAKE_INSTALL_PREFIX is the
# install-time prefix, and file(INSTALL) adds DESTDIR itself.
if(IS_ABSOLUTE "${VELDAN_BINDIR}")
  set(program "${VELDAN_BINDIR}/VELDANpreview")
else()
  set(program "${CMAKE_INSTALL_PREFIX}/${VELDAN_BINDIR}/VELDANpreview")
endif()
if(IS_ABSOLUTE "${VELDAN_DATADIR}")
  set(applications "${VELDAN_DATADIR}/applications")
else()
  set(applications "${CMAKE_INSTALL_PREFIX}/${VELDAN_DATADIR}/applications")
endif()
# The Exec key quotes the path and escapes " ` $ \ inside the quotes, then
# doubles backslashes and % as the key's own escapes require; TryExec is a
# plain value, where only the backslash is escaped.
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${program}")
set(exec "\"${quoted}\"")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" tryexec "${program}")
set(VELDAN_DESKTOP_EXEC "${exec}")
set(VELDAN_DESKTOP_TRYEXEC "${tryexec}")
set(staged "${CMAKE_CURRENT_LIST_DIR}/VELDANpreview.desktop")
if(DEFINED VELDAN_STAGING_DIR)
  set(staged "${VELDAN_STAGING_DIR}/VELDANpreview.desktop")
endif()
configure_file("${VELDAN_DESKTOP_TEMPLATE}" "${staged}" @ONLY)
file(INSTALL DESTINATION "${applications}" TYPE FILE FILES "${staged}")
