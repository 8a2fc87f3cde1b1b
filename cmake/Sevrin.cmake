# Shared helpers for the folder CMakeLists.

# The project root is the include root: headers are included as "app/MessagePassing.h".
set(SEVRIN_ROOT ${CMAKE_SOURCE_DIR})

set(SEVRIN_COMMON_LIBS
  Qt5::Core Qt5::Gui Qt5::Widgets Qt5::Network Qt5::Svg Qt5::Multimedia Qt5::SerialPort Qt5::Concurrent
  ${OpenCV_LIBS} PkgConfig::SDL2 PkgConfig::FFMPEG PkgConfig::TURBOJPEG PkgConfig::UDEV ZLIB::ZLIB Threads::Threads)

# sevrin_folder_library(<target> [EXCLUDE <file>...])
# A static library of every .cpp/.h in the calling folder (not recursing).
function(sevrin_folder_library target)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(NOT srcs)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    set(srcs ${stub})
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${SEVRIN_ROOT} ${OpenCV_INCLUDE_DIRS})
  target_link_libraries(${target} PUBLIC ${SEVRIN_COMMON_LIBS})
endfunction()

# sevrin_folder_tests()
# In a tests/ folder: every tst_*.cpp becomes a test executable named as the file;
# every other .cpp/.h there is a helper compiled once into a per-folder library.
# tst_*.sh and tst_*.py are run by bash / python3 with SEVRIN_BUILD_DIR and
# SEVRIN_SOURCE_DIR in the environment.
function(sevrin_folder_tests)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" folder "${rel}")
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(t ${tests})
    list(REMOVE_ITEM helpers ${t})
  endforeach()
  set(helper_lib "")
  if(helpers)
    set(helper_lib testhelpers_${folder})
    add_library(${helper_lib} STATIC ${helpers})
    target_link_libraries(${helper_lib} PUBLIC sevrin_all sevrin_testsupport Qt5::Test)
    set_property(GLOBAL APPEND PROPERTY SEVRIN_TEST_HELPERS ${helper_lib})
  endif()
  foreach(t ${tests})
    get_filename_component(name ${t} NAME_WE)
    add_executable(${name} ${t})
    target_link_libraries(${name} PRIVATE ${helper_lib} sevrin_all sevrin_testsupport Qt5::Test
      GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_VIDEODRIVER=offscreen;SDL_AUDIODRIVER=dummy;SEVRIN_BUILD_DIR=${CMAKE_BINARY_DIR};SEVRIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      TIMEOUT 600)
  endforeach()
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.sh ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.py)
  foreach(s ${scripts})
    get_filename_component(name ${s} NAME_WE)
    get_filename_component(ext ${s} EXT)
    if(ext STREQUAL ".sh")
      add_test(NAME ${name} COMMAND bash ${s})
    else()
      # Debian's interpreter: it has openpyxl; another python3 may come first on PATH.
      add_test(NAME ${name} COMMAND /usr/bin/python3 ${s})
    endif()
    # Scripts drive the whole program under a virtual X server of their own,
    # in folders of their own, and wait on states rather than for fixed
    # times: they run beside other tests. Each counts as two jobs (the
    # program, the X server and the script that checks its screenshots).
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "SEVRIN_BUILD_DIR=${CMAKE_BINARY_DIR};SEVRIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      TIMEOUT 900 PROCESSORS 2)
  endforeach()
endfunction()
