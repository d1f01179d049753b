# Tests of the script's commands: each handler run on a script line under Wine,
# checked through the progress lines, the message boxes, the beeps, the meter,
# the file system, the registry and the Start menu.
kopiwa_add_gtest_program(installer_commands_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/commands_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_commands_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_commands_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startmenu_commands_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_commands_tests.cpp
  LIBS setup_core wintest)
kopiwa_add_wine_test(NAME installer.commands.file TARGET installer_commands_tests
                     FILTER "FileCommands.*:PathRoutines.*")
kopiwa_add_wine_test(NAME installer.commands.registry TARGET installer_commands_tests
                     FILTER "RegistryCommands.*")
kopiwa_add_wine_test(NAME installer.commands.startmenu TARGET installer_commands_tests
                     FILTER "StartMenuCommands.*")
kopiwa_add_wine_test(NAME installer.commands.system TARGET installer_commands_tests
                     FILTER "SystemCommands.*:WininitRewrite.*")
kopiwa_add_wine_test(NAME installer.commands.platforms TARGET installer_commands_tests
                     FILTER "PlatformChecks.*" TIMEOUT 600)
