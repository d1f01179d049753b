# Tests of the scanner side of the copier: the session against a fake source
# manager, the negotiation arithmetic, the bitmap helpers, print placement, and
# the session against Wine's real source manager with the virtual scanner.
kopiwa_add_gtest_program(copier_scan_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fake_twain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/twain_session_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/negotiation_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dib_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_geometry_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scanner_tests.cpp
  LIBS copier_scan wintest)
target_include_directories(copier_scan_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
# The real-parts tests install the virtual scanner from the build tree.
add_dependencies(copier_scan_tests virtual_scanner)

kopiwa_add_wine_test(NAME copier.scan.session TARGET copier_scan_tests
                     FILTER TwainSessionTest.*)
kopiwa_add_wine_test(NAME copier.scan.negotiation TARGET copier_scan_tests
                     FILTER NegotiationTest.*:PrepareScanTest.*:FixedPoint.*:ScanPlan.*:-NegotiationTest.Hostile*)
kopiwa_add_wine_test(NAME copier.scan.bitmaps TARGET copier_scan_tests
                     FILTER Dib*:PrintGeometry.*)
# Hostile-input loops: a few seconds each in make test, KOPIWA_FUZZ_CASES for more.
kopiwa_add_wine_test(NAME copier.fuzz.bitmaps TARGET copier_scan_tests FILTER HostileBitmaps.* LABELS fuzz)
kopiwa_add_wine_test(NAME copier.fuzz.capabilities TARGET copier_scan_tests FILTER NegotiationTest.Hostile*
                     LABELS fuzz)
kopiwa_add_wine_test(NAME copier.scan.scanner TARGET copier_scan_tests
                     FILTER VirtualScanner.*)
# Wine's manager looks for its sources once per load: a prefix of its own.
kopiwa_add_wine_test(NAME copier.scan.noscanner TARGET copier_scan_tests
                     FILTER NoScanner.*)
