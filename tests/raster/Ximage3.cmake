# Tests of the image control TXImage3 and its palette-file reader.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(test_ximage
  ${CMAKE_CURRENT_LIST_DIR}/ximage3_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/palette_file_test.cpp
)
target_link_libraries(test_ximage PRIVATE quorvane_ximage Qt6::Widgets GTest::gtest_main)
add_test(NAME ximage COMMAND test_ximage)
set_tests_properties(ximage PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
