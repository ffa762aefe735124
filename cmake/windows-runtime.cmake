# A MinGW build of the program runs on a PC without Qt or MinGW when these lie
# beside the executable: Qt's DLLs, the platform plugin (platforms/), the style
# plugin (styles/), libcurl (with Schannel) and MinGW's runtime DLLs. (windeployqt does this for builds
# made on Windows; it does not exist on Linux, so the files are named here.)

set(_velkoria_mingw_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path "${path}" ABSOLUTE)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "MinGW's ${dll} was not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    list(APPEND _velkoria_mingw_dlls "${path}")
endforeach()
set(VELKORIA_MINGW_RUNTIME_DLLS ${_velkoria_mingw_dlls} CACHE INTERNAL "")

# velkoria_windows_runtime(TARGET FOLDER [TEST]): a target of the build that
# copies the runtime into FOLDER; TEST adds Qt Test and the minimal platform
# plugin (no window on the screen) for the unit tests.
function(velkoria_windows_runtime target folder)
    set(dlls $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
             $<TARGET_FILE:CURL::libcurl> ${VELKORIA_MINGW_RUNTIME_DLLS})
    set(platforms $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
    if(ARGV2 STREQUAL "TEST")
        list(APPEND dlls $<TARGET_FILE:Qt6::Test>)
        list(APPEND platforms $<TARGET_FILE:Qt6::QMinimalIntegrationPlugin>)
    endif()
    add_custom_target(${target} ALL
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/platforms ${folder}/styles
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dlls} ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${platforms} ${folder}/platforms
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${folder}/styles
        COMMENT "Copying Qt's and MinGW's DLLs into ${folder}"
        VERBATIM)
endfunction()

velkoria_windows_runtime(velkoria_runtime ${VELKORIA_PROGRAM_DIR})
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::Core Qt6::Gui Qt6::Widgets CURL::libcurl RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)
install(FILES ${VELKORIA_MINGW_RUNTIME_DLLS} DESTINATION .)
# MinGW's DLLs carry their debugging data (ten times their code): --strip
# drops it, as it does for the program.
foreach(dll IN LISTS VELKORIA_MINGW_RUNTIME_DLLS)
    get_filename_component(name "${dll}" NAME)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\")
    endif()")
endforeach()
