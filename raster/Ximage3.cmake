# The image control TXImage3 and its palette-file reader; reaches the
# toolkit only through platform/.
add_library(quorvane_ximage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Ximage3.cpp
  ${CMAKE_CURRENT_LIST_DIR}/palette_file.cpp
)
target_include_directories(quorvane_ximage PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvane_ximage PUBLIC quorvane_platform)
