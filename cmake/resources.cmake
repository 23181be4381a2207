# Windows resources of the shipped programs: a version resource and an
# application manifest from the project's version, and, for the service host,
# the message table that Event Viewer reads its event descriptions from.
enable_language(RC)

# The programs import slim reader/writer locks and GetTickCount64: Windows
# Vista / Server 2008 (NT 6.0) is the oldest Windows they run on, and the PE
# header says so.
add_link_options(-Wl,--major-subsystem-version,6,--minor-subsystem-version,0
                 -Wl,--major-os-version,6,--minor-os-version,0)

# The message compiler of the toolchain that provides the resource compiler.
get_filename_component(zaq_rc_dir "${CMAKE_RC_COMPILER}" DIRECTORY)
get_filename_component(zaq_rc_name "${CMAKE_RC_COMPILER}" NAME)
string(REPLACE "windres" "windmc" zaq_mc_name "${zaq_rc_name}")
if(zaq_rc_dir)
  set(ZAQ_MC_COMPILER "${zaq_rc_dir}/${zaq_mc_name}")
else()
  set(ZAQ_MC_COMPILER "${zaq_mc_name}")
endif()

# zaq_add_program_resources(target NAME name DESCRIPTION text [MESSAGES file.mc])
function(zaq_add_program_resources target)
  cmake_parse_arguments(R "" "NAME;DESCRIPTION;MESSAGES" "" ${ARGN})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(ZAQ_RESOURCE_NAME ${R_NAME})
  set(ZAQ_RESOURCE_DESCRIPTION ${R_DESCRIPTION})
  set(ZAQ_RESOURCE_MANIFEST ${dir}/${R_NAME}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/resources/program.manifest.in ${ZAQ_RESOURCE_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in ${dir}/version.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/version.rc)
  set_property(SOURCE ${dir}/version.rc APPEND PROPERTY OBJECT_DEPENDS ${ZAQ_RESOURCE_MANIFEST})
  if(R_MESSAGES)
    # windmc writes <name>.rc, <name>.h and one MSG<language>.bin per language
    # of the message file; the .rc names the .bin files without a folder.
    get_filename_component(base ${R_MESSAGES} NAME_WE)
    add_custom_command(OUTPUT ${dir}/${base}.rc ${dir}/${base}.h
                       COMMAND ${ZAQ_MC_COMPILER} -r ${dir} -h ${dir} ${R_MESSAGES}
                       DEPENDS ${R_MESSAGES}
                       COMMENT "Message table ${base}"
                       VERBATIM)
    target_sources(${target} PRIVATE ${dir}/${base}.rc)
    set_property(SOURCE ${dir}/${base}.rc APPEND PROPERTY COMPILE_OPTIONS --include-dir=${dir})
  endif()
endfunction()
