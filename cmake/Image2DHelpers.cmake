# image2d_sources(<dir relative to the source root> HEADERS ... SOURCES ...)
# Adds the files to the library and installs the headers under the same path,
# so that #include "image2d/pointops/Invert.h" works in and out of the tree.
function(image2d_sources dir)
  cmake_parse_arguments(ARG "" "" "HEADERS;SOURCES" ${ARGN})
  list(TRANSFORM ARG_HEADERS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  target_sources(image2d PRIVATE ${ARG_HEADERS} ${ARG_SOURCES})
  # Host-library stand-ins live under include/image2d/platform once installed.
  if(dir MATCHES "^platform")
    set(dest ${CMAKE_INSTALL_INCLUDEDIR}/image2d/${dir})
  else()
    set(dest ${CMAKE_INSTALL_INCLUDEDIR}/${dir})
  endif()
  install(FILES ${ARG_HEADERS} DESTINATION ${dest})
endfunction()

# image2d_test(<name> SOURCES ...): one GoogleTest executable linked to the library. Its
# tests carry the executable's name as label (ctest -L, the tsan preset's selection).
function(image2d_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  target_link_libraries(${name} PRIVATE image2d::image2d image2d_test_support GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${name} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
