# Makes one Windows Installer package with wixl from a fresh release layout:
#   cmake -DZAQ_BUILD_DIR=<build tree> -DZAQ_LAYOUT=<folder to lay out in>
#         -DZAQ_WIXL=<wixl> -DZAQ_ARCH=x64|x86 -DZAQ_VERSION=<version>
#         -DZAQ_OUTPUT=<package> [-DZAQ_DEFINES=<name=value;...>]
#         -DZAQ_MSIBUILD=<msibuild> -DZAQ_FILE_VERSIONS=<File Id=a.b.c.d;...>
#         [-DZAQ_REPLACE=<file of the layout=program to package instead;...>]
#         -P build-msi.cmake
# The layout is what the release zip holds (the build's install step), so the
# package is made exactly as an installer author makes one from the zip.
cmake_minimum_required(VERSION 3.25)

foreach(variable ZAQ_BUILD_DIR ZAQ_LAYOUT ZAQ_WIXL ZAQ_MSIBUILD ZAQ_ARCH ZAQ_VERSION ZAQ_OUTPUT)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "build-msi: ${variable} is not given")
  endif()
endforeach()

file(REMOVE_RECURSE "${ZAQ_LAYOUT}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${ZAQ_BUILD_DIR}" --prefix "${ZAQ_LAYOUT}" --strip
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "build-msi: laying out ${ZAQ_LAYOUT} failed:\n${output}")
endif()
foreach(entry IN LISTS ZAQ_REPLACE)
  string(REGEX MATCH "^[^=]*" file "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" program "${entry}")
  file(COPY_FILE "${program}" "${ZAQ_LAYOUT}/${file}")
endforeach()

set(defines -D ZaqArch=${ZAQ_ARCH} -D ZaqLayout=. -D ZaqVersion=${ZAQ_VERSION})
foreach(define IN LISTS ZAQ_DEFINES)
  list(APPEND defines -D "${define}")
endforeach()
# wixl finds the files relative to its working folder: the layout.
execute_process(COMMAND "${ZAQ_WIXL}" -a ${ZAQ_ARCH} ${defines} -o "${ZAQ_OUTPUT}.new" wix/product.wxs
                        wix/zaqservice.wxs wix/zaqservice-data.wxs
                WORKING_DIRECTORY "${ZAQ_LAYOUT}"
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
# wixl says what it ignores as GLib warnings and still succeeds: an attribute
# it does not know would silently be missing from the package.
if(NOT result EQUAL 0 OR output MATCHES "WARNING|CRITICAL|ERROR")
  file(REMOVE "${ZAQ_OUTPUT}.new")
  message(FATAL_ERROR "build-msi: wixl failed for ${ZAQ_OUTPUT}:\n${output}")
endif()

# wixl leaves the File table's Version empty. Windows Installer takes a file
# without one for unversioned, and an upgrade would keep the versioned program
# already on the disk instead of replacing it: the programs get theirs.
foreach(entry IN LISTS ZAQ_FILE_VERSIONS)
  string(REPLACE "=" ";" fields "${entry}")
  list(GET fields 0 id)
  list(GET fields 1 version)
  execute_process(COMMAND "${ZAQ_MSIBUILD}" "${ZAQ_OUTPUT}.new" -q
                          "UPDATE `File` SET `Version` = '${version}' WHERE `File` = '${id}'"
                  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE "${ZAQ_OUTPUT}.new")
    message(FATAL_ERROR "build-msi: setting the version of ${id} failed:\n${output}")
  endif()
endforeach()
file(RENAME "${ZAQ_OUTPUT}.new" "${ZAQ_OUTPUT}")
