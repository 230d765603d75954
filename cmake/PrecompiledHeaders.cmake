# Precompiled headers for the larger targets. A clean build (what CI does
# twice, once under the sanitizers) spends about half of each file's compile
# parsing the same standard, test-framework, toolkit and CLI11 headers; each
# target with at least four sources parses them once instead.
#
# The set a target gets follows what it links: every target the standard
# headers most files include, GoogleTest's or Google Benchmark's header where
# it links them, Qt's most used widgets where it links Qt directly, CLI11
# where it links CLI11. A precompiled header only adds declarations, so every
# file still includes what it uses and builds without it.
#
# ccache caches a file's compile only without precompiled headers, so a tree
# configured with a compiler launcher (ccache) leaves them off by default.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(pch_default OFF)
else()
  set(pch_default ON)
endif()
option(QUORVANE_PCH "Precompile the common headers of each larger target" ${pch_default})

set(QUORVANE_PCH_STANDARD
    <algorithm> <array> <atomic> <cmath> <cstddef> <cstdint> <cstdio> <cstdlib> <cstring>
    <functional> <limits> <map> <memory> <mutex> <optional> <string> <string_view> <utility>
    <vector>)

# Every target defined in `dir` and below it.
function(quorvane_targets_below dir out)
  get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    quorvane_targets_below(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(quorvane_precompile_headers)
  if(NOT QUORVANE_PCH)
    return()
  endif()
  quorvane_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(LENGTH sources count)
    if(count LESS 4)
      continue()
    endif()
    get_target_property(links ${target} LINK_LIBRARIES)
    set(headers ${QUORVANE_PCH_STANDARD})
    if(links MATCHES "GTest::")
      list(APPEND headers <gtest/gtest.h>)
    endif()
    if(links MATCHES "benchmark::")
      list(APPEND headers <benchmark/benchmark.h>)
    endif()
    if(links MATCHES "CLI11::")
      list(APPEND headers <CLI/CLI.hpp>)
    endif()
    if(links MATCHES "Qt6::Widgets")
      list(APPEND headers <QApplication> <QImage> <QLabel> <QPainter> <QString> <QWidget>)
    endif()
    if(links MATCHES "Qt6::Charts")
      list(APPEND headers <QChart> <QChartView> <QLineSeries> <QValueAxis>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
  endforeach()
endfunction()
