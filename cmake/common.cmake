# Compiler settings and test helpers shared by every folder.

add_compile_options(-Wall -Wextra)
if(ZAQ_WERROR)
  add_compile_options(-Werror)
endif()

if(ZAQ_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZAQ_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # GoogleTest from Debian's sources, cross-compiled with the same toolchain.
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  if(NOT TARGET gtest)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(ZAQ_GTEST gtest gmock)
  set(ZAQ_GTEST_MAIN gtest_main)
else()
  find_package(GTest REQUIRED)
  set(ZAQ_GTEST GTest::gtest GTest::gmock)
  set(ZAQ_GTEST_MAIN GTest::gtest_main)
endif()
include(GoogleTest)

# Where test programs find files of the source and build trees. A Windows
# program under Wine sees the Unix root as drive Z:.
function(zaq_host_path out path)
  if(WIN32)
    set(${out} "Z:${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# One GoogleTest program made of the *_test.cpp files given; each test case
# becomes a CTest test. Windows ones run under Wine within the session fixture.
function(zaq_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(ZAQ_FUZZ)
    return()  # the fuzz build runs only the fuzz targets
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${ZAQ_GTEST} ${ZAQ_GTEST_MAIN})
  zaq_host_path(src "${CMAKE_SOURCE_DIR}")
  zaq_host_path(bin "${CMAKE_BINARY_DIR}")
  target_compile_definitions(${name} PRIVATE ZAQ_SOURCE_DIR="${src}" ZAQ_BINARY_DIR="${bin}")
  if(WIN32 AND NOT ZAQ_RUN_WINE_TESTS)
    return()
  elseif(WIN32)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES FIXTURES_REQUIRED wine_session LABELS wine ${T_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS native ${T_PROPERTIES})
  endif()
endfunction()
