# Kopiwa.exe making real copies: the virtual scanner as its TWAIN source and
# the PDF queue as its printer (copy_e2e_tests.cpp), and the copy dialog's own
# painting read back from the screen (caption_paint_tests.cpp).
kopiwa_add_gtest_program(copier_e2e_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/kopiwa_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_devmode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/copy_e2e_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/caption_paint_tests.cpp
  LIBS copier_ui wintest winspool psapi)
target_include_directories(copier_e2e_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${ART_DIR})
add_dependencies(copier_e2e_tests kopiwa kopiwa_counted virtual_scanner)

kopiwa_add_wine_test(NAME copier.e2e.modes TARGET copier_e2e_tests RESOURCE_LOCK printer
                     FILTER "CopyE2E.EachMode*:CopyE2E.TheScale*:CopyE2E.APrinterAt600*")
kopiwa_add_wine_test(NAME copier.e2e.recopy TARGET copier_e2e_tests RESOURCE_LOCK printer
                     FILTER "CopyE2E.ReCopy*:CopyE2E.ACancelledScan*:CopyE2E.UnusableImages*")
kopiwa_add_wine_test(NAME copier.e2e.large TARGET copier_e2e_tests RESOURCE_LOCK printer
                     FILTER "CopyE2E.CancelInTheProgress*:MeasuredCopy.AnA4Colour*")
kopiwa_add_wine_test(NAME copier.e2e.fine TARGET copier_e2e_tests RESOURCE_LOCK printer TIMEOUT 900
                     FILTER "MeasuredCopy.AnA4GreyCopyAt1200*")
kopiwa_add_wine_test(NAME copier.e2e.painting TARGET copier_e2e_tests FILTER "CaptionStrips.*:Painting.*")
