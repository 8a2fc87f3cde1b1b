# Shared helpers for the folder CMakeLists.

# The project root is the include root: headers are included as "app/hub/MessagePassing.h".
set(SEVRIN_ROOT ${CMAKE_SOURCE_DIR})

# Libraries that each pull in a hundred others (GDAL, GStreamer, gphoto and
# every codec) and that the program needs only once it opens a real camera,
# saves, records or fuses: the executable loads them on first use (see
# sevrin_load_late); tests and benchmarks link them as usual.
set(SEVRIN_LATE_TARGETS opencv_imgcodecs opencv_videoio opencv_ximgproc)

# One interface target per late library, linked by the libraries that call
# it: evaluated for the target being linked, it is left out where that
# target loads it late.
function(sevrin_late_library name lib)
  add_library(${name} INTERFACE)
  target_link_libraries(${name} INTERFACE "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:SEVRIN_LOAD_LATE>>>:${lib}>")
endfunction()
sevrin_late_library(sevrin_late_imgcodecs opencv_imgcodecs)
sevrin_late_library(sevrin_late_videoio opencv_videoio)
sevrin_late_library(sevrin_late_ximgproc opencv_ximgproc)
sevrin_late_library(sevrin_late_ffmpeg_codecs PkgConfig::FFMPEG_CODECS)
target_include_directories(sevrin_late_ffmpeg_codecs INTERFACE ${FFMPEG_CODECS_INCLUDE_DIRS})

# sevrin_load_late(<executable> <archive target>...)
# The executable links none of SEVRIN_LATE_TARGETS and FFmpeg's codecs and
# formats: every function of theirs the archives call gets an entry of its
# own (written by cmake/LoadLate.py) that loads the library on its first
# call. Elsewhere than on x86-64 the executable links them as usual.
function(sevrin_load_late exe)
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
    return()
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(entries ${CMAKE_CURRENT_BINARY_DIR}/${exe}_late_entries.S)
  set(archives "")
  foreach(a ${ARGN})
    list(APPEND archives $<TARGET_FILE:${a}>)
  endforeach()
  set(late "")
  foreach(t ${SEVRIN_LATE_TARGETS})
    list(APPEND late $<TARGET_FILE:${t}>)
  endforeach()
  list(APPEND late ${FFMPEG_CODECS_LINK_LIBRARIES})
  add_custom_command(OUTPUT ${entries}
    COMMAND Python3::Interpreter ${SEVRIN_ROOT}/cmake/LoadLate.py ${entries} --archives ${archives} --late ${late}
    DEPENDS ${ARGN} ${SEVRIN_ROOT}/cmake/LoadLate.py
    COMMENT "Entries of the late-loaded libraries for ${exe}"
    VERBATIM)
  target_sources(${exe} PRIVATE ${entries} ${SEVRIN_ROOT}/app/late/LateLoad.c)
  set_target_properties(${exe} PROPERTIES SEVRIN_LOAD_LATE ON)
  target_link_libraries(${exe} PRIVATE ${CMAKE_DL_LIBS})
endfunction()

# sevrin_folder_library(<target> [FILES <file>...] [EXCLUDE <file>...] LINK <item>...)
# A static library of every .cpp/.h in the calling folder (not recursing), or
# of the FILES given, linking the libraries and packages in LINK (the ones
# its sources use, and no more).
function(sevrin_folder_library target)
  cmake_parse_arguments(ARG "" "" "FILES;EXCLUDE;LINK" ${ARGN})
  if(ARG_FILES)
    set(srcs "")
    foreach(f ${ARG_FILES})
      list(APPEND srcs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
  else()
    file(GLOB srcs CONFIGURE_DEPENDS
      ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  endif()
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
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
endfunction()

# sevrin_test_homes()
# Every test registered in the calling folder (however it was added) runs
# with a home of its own in the build tree, home/<test>: HOME and the XDG
# configuration, cache, data and runtime folders point there, so Qt's
# file-dialog history, settings without a path of their own and font caches
# land there and never in the developer's home, nor in another test's running
# beside it; nor does Qt's stand-in runtime folder land in TMPDIR.
# sevrin_folder_tests() has it run when the folder's CMakeLists ends.
function(sevrin_test_homes)
  get_property(names DIRECTORY PROPERTY TESTS)
  foreach(name ${names})
    set(home ${CMAKE_CURRENT_BINARY_DIR}/home/${name})
    # Qt takes a runtime folder only when it exists and only its owner may use it.
    file(MAKE_DIRECTORY ${home}/.runtime)
    file(CHMOD ${home}/.runtime PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
      "HOME=${home}" "XDG_CONFIG_HOME=${home}/.config" "XDG_CACHE_HOME=${home}/.cache"
      "XDG_DATA_HOME=${home}/.local/share" "XDG_RUNTIME_DIR=${home}/.runtime")
  endforeach()
endfunction()

# sevrin_test_watchdogs()
# Qt's test watchdog (QTEST_FUNCTION_TIMEOUT, 300 s by default) is meant to
# bound each row, but Qt 5.15 restarts it only when its thread sees the row
# end before the next row begins; that thread seldom wakes in time, so its
# bound runs from an earlier row, often from the first one: it bounds the
# test program's run, the same thing CTest's TIMEOUT bounds. Every test
# registered in the calling folder that does not set its own gets CTest's
# bound less 30 s, so that a program that hangs prints its stacks before
# CTest ends it, and a slow machine's long run is not ended at 300 s.
function(sevrin_test_watchdogs)
  get_property(names DIRECTORY PROPERTY TESTS)
  foreach(name ${names})
    get_test_property(${name} ENVIRONMENT env)
    get_test_property(${name} TIMEOUT timeout)
    if(NOT "${env}" MATCHES "QTEST_FUNCTION_TIMEOUT=" AND timeout GREATER 60)
      math(EXPR ms "(${timeout} - 30) * 1000")
      set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QTEST_FUNCTION_TIMEOUT=${ms}")
    endif()
  endforeach()
endfunction()

# sevrin_folder_tests()
# In a tests/ folder: every tst_*.cpp becomes a test executable named as the file;
# every other .cpp/.h there is a helper compiled once into a per-folder library.
# Both link the library of the source folder the tests mirror
# (tests/measure/engine: sevrin_measure_engine); a test that
# drives more names the further libraries itself. A variable <test>_LINK set
# before the call replaces them for that test alone (a test of the hub in
# tests/app links the hub, not the whole program); the folder's helpers, when
# there are any, still bring theirs.
# tst_*.sh and tst_*.py are run by bash / python3 with SEVRIN_BUILD_DIR and
# SEVRIN_SOURCE_DIR in the environment. Every test of the folder gets a home
# of its own (sevrin_test_homes) and a watchdog as long as its CTest bound
# (sevrin_test_watchdogs).
function(sevrin_folder_tests)
  # Also for the tests the folder adds after this call.
  cmake_language(DEFER CALL sevrin_test_homes)
  cmake_language(DEFER CALL sevrin_test_watchdogs)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" folder "${rel}")
  set(libs sevrin_${folder})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(t ${tests})
    list(REMOVE_ITEM helpers ${t})
  endforeach()
  set(helper_lib "")
  if(helpers)
    set(helper_lib testhelpers_${folder})
    add_library(${helper_lib} STATIC ${helpers})
    target_link_libraries(${helper_lib} PUBLIC ${libs} sevrin_testsupport Qt5::Test)
    set_property(GLOBAL APPEND PROPERTY SEVRIN_TEST_HELPERS ${helper_lib})
  endif()
  foreach(t ${tests})
    get_filename_component(name ${t} NAME_WE)
    add_executable(${name} ${t})
    set(test_libs ${libs})
    if(DEFINED ${name}_LINK)
      set(test_libs ${${name}_LINK})
    endif()
    target_link_libraries(${name} PRIVATE ${helper_lib} ${test_libs} sevrin_testsupport Qt5::Test
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
