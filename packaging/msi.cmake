# The Windows Installer package of this width, zaqservice-<version>-win64.msi or
# -win32.msi in the build folder, made with Debian's wixl from the release
# layout (packaging/wix). `cmake --build --preset windows64 --target msi`; the
# default build makes it too where wixl is installed.
find_program(ZAQ_WIXL wixl)
find_program(ZAQ_MSIBUILD msibuild)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZAQ_MSI_ARCH x64)
else()
  set(ZAQ_MSI_ARCH x86)
endif()
set(ZAQ_MSI_PACKAGE ${CMAKE_BINARY_DIR}/zaqservice-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}.msi)

# What a package is made from: the programs, the guide, the WiX sources and
# the native build's catalogs and codeset tables (as they were when configured).
set(zaq_msi_inputs ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_SOURCE_DIR}/packaging/wix/zaqservice.wxs
                   ${CMAKE_SOURCE_DIR}/packaging/wix/zaqservice.wxi ${CMAKE_SOURCE_DIR}/packaging/wix/product.wxs
                   ${CMAKE_SOURCE_DIR}/packaging/wix/data-fragment.cmake
                   ${CMAKE_SOURCE_DIR}/packaging/wix/build-msi.cmake)
if(ZAQ_NATIVE_BUILD_DIR)
  file(GLOB_RECURSE zaq_msi_data ${ZAQ_NATIVE_BUILD_DIR}/messages/*.cat ${ZAQ_NATIVE_BUILD_DIR}/codesets/codeset/*)
  list(APPEND zaq_msi_inputs ${zaq_msi_data})
endif()

# The file version of the programs, as their version resources give it.
set(ZAQ_MSI_FILE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)

# One package at a time: each lays the release out with the build's install
# step, which writes the build tree's install manifest.
set_property(GLOBAL APPEND PROPERTY JOB_POOLS zaq_msi=1)

# zaq_add_msi(OUTPUT package LAYOUT folder VERSION version
#             [FILE_VERSION a.b.c.d REPLACE file=program...]
#             [DEFINES name=value...] [DEPENDS target...])
# Lays the release out in folder and makes package from it with the WiX
# sources; REPLACE puts other programs in the layout, of FILE_VERSION.
function(zaq_add_msi)
  cmake_parse_arguments(M "" "OUTPUT;LAYOUT;VERSION;FILE_VERSION" "REPLACE;DEFINES;DEPENDS" ${ARGN})
  if(NOT M_FILE_VERSION)
    set(M_FILE_VERSION ${ZAQ_MSI_FILE_VERSION})
  endif()
  set(file_versions ZaqProgramFile=${M_FILE_VERSION})
  if(NOT "ZaqKind=server" IN_LIST M_DEFINES)
    list(APPEND file_versions ZaqRescanTriggerFile=${M_FILE_VERSION})
  endif()
  set(replaced)
  foreach(entry IN LISTS M_REPLACE)
    string(REGEX REPLACE "^[^=]*=" "" program "${entry}")
    list(APPEND replaced ${program})
  endforeach()
  get_filename_component(name ${M_OUTPUT} NAME)
  add_custom_command(OUTPUT ${M_OUTPUT}
                     COMMAND ${CMAKE_COMMAND} -DZAQ_BUILD_DIR=${CMAKE_BINARY_DIR} -DZAQ_LAYOUT=${M_LAYOUT}
                             -DZAQ_WIXL=${ZAQ_WIXL} -DZAQ_MSIBUILD=${ZAQ_MSIBUILD} -DZAQ_ARCH=${ZAQ_MSI_ARCH}
                             -DZAQ_VERSION=${M_VERSION} -DZAQ_OUTPUT=${M_OUTPUT} "-DZAQ_DEFINES=${M_DEFINES}"
                             "-DZAQ_REPLACE=${M_REPLACE}" "-DZAQ_FILE_VERSIONS=${file_versions}"
                             -P ${CMAKE_SOURCE_DIR}/packaging/wix/build-msi.cmake
                     DEPENDS zaqservice kickscan ${zaq_msi_inputs} ${replaced} ${M_DEPENDS}
                     COMMENT "Windows Installer package ${name}"
                     JOB_POOL zaq_msi
                     VERBATIM)
endfunction()

if(ZAQ_WIXL AND ZAQ_MSIBUILD)
  zaq_add_msi(OUTPUT ${ZAQ_MSI_PACKAGE} LAYOUT ${CMAKE_BINARY_DIR}/msi/layout VERSION ${PROJECT_VERSION})
  add_custom_target(msi ALL DEPENDS ${ZAQ_MSI_PACKAGE})
else()
  message(STATUS "No wixl or msibuild: the Windows Installer package is not made (Debian: wixl, msitools)")
  add_custom_target(msi COMMAND ${CMAKE_COMMAND} -E echo "msi: wixl or msibuild is missing (Debian: wixl, msitools)"
                    COMMAND ${CMAKE_COMMAND} -E false)
endif()
