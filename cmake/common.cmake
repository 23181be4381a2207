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

set(ZAQ_HAVE_GTEST ON)
if(WIN32)
  # GoogleTest built from its sources with the same toolchain (Debian's package
  # on the build host). Without them the programs still build; the tests don't.
  set(ZAQ_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows builds")
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  if(TARGET gtest)
  elseif(EXISTS ${ZAQ_GTEST_SOURCE_DIR}/CMakeLists.txt)
    add_subdirectory(${ZAQ_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    message(STATUS "No GoogleTest sources in ${ZAQ_GTEST_SOURCE_DIR}: tests are not built")
    set(ZAQ_HAVE_GTEST OFF)
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

# Where test programs find what the native build generates (codeset tables,
# catalogs): this tree natively, the native tree of a Windows build.
function(zaq_generated_path out relative)
  if(WIN32)
    zaq_host_path(path "${ZAQ_NATIVE_BUILD_DIR}${relative}")
  else()
    set(path "${CMAKE_BINARY_DIR}${relative}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# One GoogleTest program made of the *_test.cpp files given; each test case
# becomes a CTest test. Windows ones run under Wine within the session fixture;
# with LOCALES, once per locale (named <test>/<locale>) with LC_ALL set to it:
# Wine gives a process started so that locale and its ANSI code page, and its
# Windows children inherit them.
function(zaq_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES;LOCALES" ${ARGN})
  # The fuzz and bench builds make only their own programs: their test
  # programs are defined (so folders may refer to them) but not built or run.
  set(exclude)
  if(ZAQ_FUZZ OR ZAQ_BENCH OR NOT ZAQ_HAVE_GTEST)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} ${exclude} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support)
  if(ZAQ_HAVE_GTEST)
    target_link_libraries(${name} PRIVATE ${ZAQ_GTEST} ${ZAQ_GTEST_MAIN})
  endif()
  zaq_host_path(src "${CMAKE_SOURCE_DIR}")
  zaq_host_path(bin "${CMAKE_BINARY_DIR}")
  target_compile_definitions(${name} PRIVATE ZAQ_SOURCE_DIR="${src}" ZAQ_BINARY_DIR="${bin}")
  if(exclude OR (WIN32 AND NOT ZAQ_RUN_WINE_TESTS))
    return()
  elseif(WIN32 AND T_LOCALES)
    foreach(locale IN LISTS T_LOCALES)
      gtest_discover_tests(${name} TEST_SUFFIX /${locale} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES FIXTURES_REQUIRED wine_session LABELS wine
                                      ENVIRONMENT_MODIFICATION LC_ALL=set:${locale} ${T_PROPERTIES})
    endforeach()
  elseif(WIN32)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES FIXTURES_REQUIRED wine_session LABELS wine ${T_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS native ${T_PROPERTIES})
  endif()
endfunction()
