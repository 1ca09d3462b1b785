# GDCM's headers and the libraries that read and write images, as one imported target
# `image2d_gdcm`. GDCM's own CMake package also imports its command-line programs, which
# Debian ships in a separate package, and reports every missing one at configure time;
# only the libraries are needed here.
if(TARGET image2d_gdcm)
  return()
endif()
find_path(GDCM_INCLUDE_DIR gdcmImageReader.h PATH_SUFFIXES gdcm-3.0 gdcm-3.1 gdcm-3.2 gdcm)
set(_gdcm_libraries)
foreach(_gdcm_part MSFF IOD DSED DICT Common)
  find_library(GDCM_${_gdcm_part}_LIBRARY gdcm${_gdcm_part})
  list(APPEND _gdcm_libraries GDCM_${_gdcm_part}_LIBRARY)
endforeach()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GdcmLibraries REQUIRED_VARS GDCM_INCLUDE_DIR ${_gdcm_libraries})
add_library(image2d_gdcm INTERFACE IMPORTED GLOBAL)
target_include_directories(image2d_gdcm SYSTEM INTERFACE ${GDCM_INCLUDE_DIR})
foreach(_gdcm_library IN LISTS _gdcm_libraries)
  target_link_libraries(image2d_gdcm INTERFACE ${${_gdcm_library}})
endforeach()
