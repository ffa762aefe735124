# Part of the install: writes velkoria.desktop into the installed program
# folder, with the folder's own paths (a desktop entry needs absolute ones).
# VELKORIA_DESKTOP_TEMPLATE is set by the install code before this runs.
set(VELKORIA_FOLDER "${CMAKE_INSTALL_PREFIX}")
# Exec takes the path in double quotes, inside which " ` $ and \ are escaped
# with a backslash; the desktop file's own string rules then double every backslash.
string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" VELKORIA_EXEC "${VELKORIA_FOLDER}/velkoria")
string(REPLACE "\\" "\\\\" VELKORIA_EXEC "${VELKORIA_EXEC}")
# A % in Exec starts a field code: a literal one is written twice.
string(REPLACE "%" "%%" VELKORIA_EXEC "${VELKORIA_EXEC}")
set(VELKORIA_DESKTOP_FILE "$ENV{DESTDIR}${VELKORIA_FOLDER}/velkoria.desktop")
message(STATUS "Installing: ${VELKORIA_DESKTOP_FILE}")
configure_file("${VELKORIA_DESKTOP_TEMPLATE}" "${VELKORIA_DESKTOP_FILE}" @ONLY)
file(CHMOD "${VELKORIA_DESKTOP_FILE}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
