# cmake -DSOURCE=FILE -DTARGET=FILE -P copy-if-missing.cmake
# Copies SOURCE to TARGET only when TARGET does not exist: an existing file is
# the user's and stays as it is.
if(NOT EXISTS "${TARGET}")
    configure_file("${SOURCE}" "${TARGET}" COPYONLY)
endif()
