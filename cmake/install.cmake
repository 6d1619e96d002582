# `cmake --install build --prefix P` lays out the portable application folder P/Marovex (executables,
# Locale, Help, and empty catalogue files when there are none yet: an installed catalogue is never
# replaced), plus a desktop entry and its icon under P/share. The application keeps its files beside its
# executable, so P/Marovex must stay writable for the user who runs it.
set(MAROVEX_INSTALL_DIR Marovex)
install(TARGETS marovex-cli RUNTIME DESTINATION ${MAROVEX_INSTALL_DIR})
if(TARGET marovex)
    install(TARGETS marovex RUNTIME DESTINATION ${MAROVEX_INSTALL_DIR})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/Locale ${PROJECT_SOURCE_DIR}/resources/Help
        DESTINATION ${MAROVEX_INSTALL_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/marovex.svg
        DESTINATION share/icons/hicolor/scalable/apps)
# The prefix is known only when installing (--prefix), so the entry and the catalogue are made then.
# A cross build runs the companion through its emulator (Wine).
install(CODE "set(MAROVEX_EMULATOR \"${CMAKE_CROSSCOMPILING_EMULATOR}\")
    set(MAROVEX_EXE_SUFFIX \"${CMAKE_EXECUTABLE_SUFFIX}\")")
install(CODE [[
    set(app "${CMAKE_INSTALL_PREFIX}/Marovex")
    execute_process(COMMAND ${MAROVEX_EMULATOR} "${app}/marovex-cli${MAROVEX_EXE_SUFFIX}" --app-dir "${app}"
                    init --if-missing RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "could not make the empty catalogue in ${app}")
    endif()
    set(MAROVEX_EXEC "\"${app}/marovex\"")
    set(MAROVEX_DIR "${app}")
]])
install(CODE "configure_file(\"${PROJECT_SOURCE_DIR}/resources/desktop/marovex.desktop.in\"
    \"\${CMAKE_INSTALL_PREFIX}/share/applications/marovex.desktop\" @ONLY)
    message(STATUS \"Installing: \${CMAKE_INSTALL_PREFIX}/share/applications/marovex.desktop\")")
