# The release package (cpack, from the Windows build tree): a zip with the two
# programs, the operator's guide and, when the native build made them, the
# compiled message catalogs and the codeset tables with their aliases file.
# Both widths make the same layout, zaqservice-<version>-win32.zip and -win64.zip:
#   zaqservice.exe, kickscan.exe, README.txt
#   winServCMessages.cat       the one English catalog, for the working directory
#   nls/<locale>/winServCMessages.cat   the translations
#   zel/codeset/...            codeset tables and aliases (ZELDIR=<folder>\zel)
#   wix/                       the WiX sources of the installer author's kit
install(TARGETS zaqservice kickscan RUNTIME DESTINATION .)
# With Windows line ends, which every Notepad shows as lines.
configure_file(${CMAKE_SOURCE_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
if(ZAQ_NATIVE_BUILD_DIR)
  install(FILES ${ZAQ_NATIVE_BUILD_DIR}/messages/winServCMessages.cat DESTINATION . OPTIONAL)
  # The build tree's other English copies (its top level and C/, for the
  # tests' search paths) stay out: a locale without a catalog of its own shows
  # the same English texts, the program's defaults.
  install(DIRECTORY ${ZAQ_NATIVE_BUILD_DIR}/messages/ DESTINATION nls OPTIONAL
          FILES_MATCHING PATTERN "*.cat" PATTERN "CMakeFiles" EXCLUDE PATTERN "C" EXCLUDE
          REGEX "/messages/winServCMessages\\.cat$" EXCLUDE)
  install(DIRECTORY ${ZAQ_NATIVE_BUILD_DIR}/codesets/codeset DESTINATION zel OPTIONAL)
endif()

# The installer author's kit: the fragment, its variables and the small
# product, and the fragment of this layout's data files, written once they are
# in place.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/wix/zaqservice.wxs ${CMAKE_SOURCE_DIR}/packaging/wix/zaqservice.wxi
              ${CMAKE_SOURCE_DIR}/packaging/wix/product.wxs DESTINATION wix)
install(CODE "set(ZAQ_LAYOUT \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
include(\"${CMAKE_SOURCE_DIR}/packaging/wix/data-fragment.cmake\")")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zaqservice)
set(CPACK_PACKAGE_VENDOR "QZR")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VQM service host and rescan trigger")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/packaging/README.txt)
include(CPack)

include(${CMAKE_SOURCE_DIR}/packaging/msi.cmake)
