# GUI tests: real windows on an X display (see tests/support/GuiTest.h).
#   include(${PROJECT_SOURCE_DIR}/tests/support/GuiTest.cmake)
#   orvex_add_gui_test(NAME SOURCES a.cpp ... [LIBS x ...])
# Registered with plain add_test so that configuring never needs a display,
# labelled `gui`, and serialised with every other GUI test through the resource
# lock `x_display`: they share the display's pointer and keyboard focus.
include_guard(GLOBAL)

if(ORVEX_BUILD_VIEWER AND TARGET orvex_app)
  add_library(orvex_gui_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/GuiTest.cpp)
  target_include_directories(orvex_gui_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  find_package(X11 REQUIRED)
  target_link_libraries(orvex_gui_test_support PUBLIC orvex_app GTest::gtest X11::X11)
endif()

function(orvex_add_gui_test name)
  if(NOT TARGET orvex_gui_test_support)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orvex_gui_test_support ${T_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS gui RESOURCE_LOCK x_display TIMEOUT 300)
endfunction()
