# The script's command units, built into the installer's core library.
target_sources(setup_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/command_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directives.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startmenu_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_commands.cpp)
target_include_directories(setup_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
