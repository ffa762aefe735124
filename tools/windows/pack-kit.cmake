# cmake -DFOLDER=<test folder> -DCOMMAND_FILE=<run-checks.cmd> -DSTRIP=<strip> -DZIP=<kit.zip> -P pack-kit.cmake
# The check kit: a copy of the Windows build's test folder (tests, fake
# browser, DLLs), without debugging data, with run-checks.cmd, zipped in a
# folder of the same name.
get_filename_component(name "${FOLDER}" NAME)
get_filename_component(zip_dir "${ZIP}" DIRECTORY)
set(kit "${zip_dir}/kit/${name}")
file(REMOVE_RECURSE "${zip_dir}/kit")
file(COPY "${FOLDER}/" DESTINATION "${kit}")
file(COPY "${COMMAND_FILE}" DESTINATION "${kit}")
file(GLOB_RECURSE binaries "${kit}/*.exe" "${kit}/*.dll")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${STRIP}" --strip-unneeded "${binary}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip "${name}"
                WORKING_DIRECTORY "${zip_dir}/kit" COMMAND_ERROR_IS_FATAL ANY)
