# Checks the tables of a package for what only Windows acts on, or what this
# host cannot install (the 32-bit package):
#   - the programs carry their file versions (wixl leaves them out; Windows
#     Installer keeps a versioned file on the disk over an unversioned one, so
#     an upgrade would not replace the program; Wine replaces it all the same);
#   - every component is 64-bit in the x64 package and none is in the x86 one,
#     installed under the Program Files folder of that width;
#   - the previous version is removed after the new one is installed.
#   cmake -DMSIINFO=<msiinfo> -DPACKAGE=<msi> -DARCH=x64|x86 -DFILE_VERSION=a.b.c.d -P check-package.cmake
cmake_minimum_required(VERSION 3.25)

set(failures "")
function(table name out)
  execute_process(COMMAND "${MSIINFO}" export "${PACKAGE}" ${name} OUTPUT_VARIABLE text RESULT_VARIABLE result
                  ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "check-package: cannot read the table ${name} of ${PACKAGE}: ${error}")
  endif()
  string(REPLACE "\r\n" "\n" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
macro(fail what)
  string(APPEND failures "  ${what}\n")
endmacro()

table(File files)
foreach(file ZaqProgramFile ZaqRescanTriggerFile)
  string(REGEX MATCH "\n${file}\t[^\t]*\t[^\t]*\t[^\t]*\t([^\t]*)\t" row "${files}")
  if(NOT CMAKE_MATCH_1 STREQUAL FILE_VERSION)
    fail("${file} has version '${CMAKE_MATCH_1}', not ${FILE_VERSION}")
  endif()
endforeach()

if(ARCH STREQUAL x64)
  set(bit 256)
  set(folder ProgramFiles64Folder)
else()
  set(bit 0)
  set(folder ProgramFilesFolder)
endif()
table(Component components)
string(REGEX MATCHALL "\nZaq[^\t]*\t[^\t]*\t[^\t]*\t[0-9]+" rows "${components}")
if(NOT rows)
  fail("no components")
endif()
foreach(row IN LISTS rows)
  string(REGEX MATCH "([^\t\n]*)\t[^\t]*\t[^\t]*\t([0-9]+)$" ignored "${row}")
  math(EXPR attribute "${CMAKE_MATCH_2} & 256")
  if(NOT attribute EQUAL bit)
    fail("component ${CMAKE_MATCH_1}: 64-bit attribute ${attribute}, not ${bit}")
  endif()
endforeach()

table(Directory directories)
if(NOT directories MATCHES "\nZaqVendorFolder\t${folder}\tQZR\n")
  fail("QZR is not under ${folder}")
endif()

table(InstallExecuteSequence sequence)
string(REGEX MATCH "\nInstallExecute\t[^\t]*\t([0-9]+)" ignored "${sequence}")
set(execute "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nRemoveExistingProducts\t[^\t]*\t([0-9]+)" ignored "${sequence}")
set(remove "${CMAKE_MATCH_1}")
if(NOT execute OR NOT remove OR NOT remove GREATER execute)
  fail("RemoveExistingProducts (${remove}) does not follow InstallExecute (${execute})")
endif()

if(failures)
  message(FATAL_ERROR "check-package: ${PACKAGE}:\n${failures}")
endif()
message(STATUS "check-package: ${PACKAGE} is as Windows needs it")
