# The scanner side of the copier: session, scan negotiation, bitmap helpers and
# print placement. None of it owns a window, so tests link it on its own.
add_library(copier_scan STATIC
  ${CMAKE_CURRENT_LIST_DIR}/twain_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_geometry.cpp)
target_include_directories(copier_scan PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${GENERATED_INCLUDE_DIR})
target_link_libraries(copier_scan PUBLIC handles user32 gdi32 kernel32)
kopiwa_product_code(copier_scan)
