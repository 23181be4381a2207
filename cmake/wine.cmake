# One Wine session for the whole test run: a holder process boots it, every
# Windows test joins it, and the last step ends it. The holder's standard error
# collects Wine's event-log records (build/<preset>/wine/session.log).

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(zaq_wine_arch win64)
else()
  set(zaq_wine_arch win32)
endif()

add_executable(wine_session_holder ${CMAKE_SOURCE_DIR}/tests/wine/session_holder.cpp)

if(ZAQ_RUN_WINE_TESTS)
add_test(NAME wine_session_start
         COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-session start ${CMAKE_BINARY_DIR}
                 ${zaq_wine_arch} $<TARGET_FILE:wine_session_holder>)
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session TIMEOUT 240 LABELS wine)
add_test(NAME wine_session_stop
         COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-session stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session LABELS wine)
endif()

# A shipped program must be a PE of the build's machine that needs no DLL
# beside the system's own, says Windows Vista as its oldest system, and carries
# its version resource and manifest (and, with MESSAGES, its message table).
string(REGEX REPLACE "-g\\+\\+(-posix)?$" "-objdump" zaq_objdump "${CMAKE_CXX_COMPILER}")
function(zaq_check_standalone_pe target subsystem)
  add_test(NAME ${target}_is_standalone_pe
           COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-pe ${zaq_objdump} ${CMAKE_RC_COMPILER}
                   $<TARGET_FILE:${target}> ${CMAKE_SIZEOF_VOID_P} ${subsystem} ${PROJECT_VERSION} ${ARGN})
endfunction()
