# cmake -DFOLDER=<installed folder> -DOUTPUT=<file> -P uninstall-list.cmake
# Writes the uninstaller's part of setup.nsi: a Delete for every file of the
# installed folder except the first button_info.txt (once installed, it is the
# user's), then an RMDir for every subfolder, deepest first (RMDir leaves a
# folder that is not empty).
file(GLOB_RECURSE files RELATIVE "${FOLDER}" "${FOLDER}/*")
list(SORT files)
set(lines "")
set(folders "")
foreach(file IN LISTS files)
    if(file STREQUAL "button_info.txt")
        continue()
    endif()
    string(REPLACE "/" "\\" windows "${file}")
    string(APPEND lines "Delete \"$INSTDIR\\${windows}\"\n")
    get_filename_component(folder "${file}" DIRECTORY)
    while(folder)
        list(APPEND folders "${folder}")
        get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
    string(REPLACE "/" "\\" windows "${folder}")
    string(APPEND lines "RMDir \"$INSTDIR\\${windows}\"\n")
endforeach()
file(WRITE "${OUTPUT}" "${lines}")
