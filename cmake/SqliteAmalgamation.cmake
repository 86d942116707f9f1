# SQLite compiled into the programs from its amalgamation (sqlite3.c), for targets without a system
# SQLite (the Windows cross-build). The amalgamation is made at configure time from Debian's source
# package of the version pinned in SqliteRecover.cmake (VELUMBRA_SQLITE_SOURCE_VERSION, fetched and
# checked against Debian's signed indexes by scripts/fetch-debian-source.sh): the same SQLite as the
# Linux build's system library and the same tree the recovery extension comes from. Making it needs
# the build machine's own C compiler, make and tclsh (Debian's tcl); it takes seconds.
include(${CMAKE_CURRENT_LIST_DIR}/SqliteSource.cmake)

set(_velumbra_amalgamation "${CMAKE_BINARY_DIR}/_deps/sqlite3-amalgamation")
if(NOT EXISTS "${_velumbra_amalgamation}/sqlite3ext.h")
  message(STATUS "Making the SQLite amalgamation from ${VELUMBRA_SQLITE_TREE}")
  file(REMOVE_RECURSE "${_velumbra_amalgamation}")
  file(MAKE_DIRECTORY "${_velumbra_amalgamation}/build")
  # A native build of the tools that write the amalgamation, whatever compiler this project uses.
  execute_process(
    COMMAND env -u CC -u CFLAGS -u CPPFLAGS -u LDFLAGS sh "${VELUMBRA_SQLITE_TREE}/configure" --disable-tcl
            --disable-readline
    WORKING_DIRECTORY "${_velumbra_amalgamation}/build"
    OUTPUT_FILE "${_velumbra_amalgamation}/configure.log" ERROR_FILE "${_velumbra_amalgamation}/configure.log"
    RESULT_VARIABLE _velumbra_rc)
  if(_velumbra_rc EQUAL 0)
    execute_process(
      COMMAND make sqlite3.c
      WORKING_DIRECTORY "${_velumbra_amalgamation}/build"
      OUTPUT_FILE "${_velumbra_amalgamation}/make.log" ERROR_FILE "${_velumbra_amalgamation}/make.log"
      RESULT_VARIABLE _velumbra_rc)
  endif()
  if(NOT _velumbra_rc EQUAL 0)
    message(FATAL_ERROR "Could not make the SQLite amalgamation (needs cc, make and tclsh); see "
                        "${_velumbra_amalgamation}/*.log")
  endif()
  file(COPY "${_velumbra_amalgamation}/build/sqlite3.c" "${_velumbra_amalgamation}/build/sqlite3.h"
       "${VELUMBRA_SQLITE_TREE}/src/sqlite3ext.h" DESTINATION "${_velumbra_amalgamation}")
  file(REMOVE_RECURSE "${_velumbra_amalgamation}/build")
endif()

enable_language(C)
add_library(velumbra_sqlite3 STATIC "${_velumbra_amalgamation}/sqlite3.c")
target_include_directories(velumbra_sqlite3 SYSTEM PUBLIC "${_velumbra_amalgamation}")
set_target_properties(velumbra_sqlite3 PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
target_compile_options(velumbra_sqlite3 PRIVATE -w)  # SQLite's code, not ours
# The options Debian's libsqlite3 is built with (debian/rules of the same package) that change what a
# program sees, so that both builds behave alike; extensions are never loaded from files here.
target_compile_definitions(velumbra_sqlite3 PUBLIC
  SQLITE_THREADSAFE=1 SQLITE_SECURE_DELETE SQLITE_ENABLE_COLUMN_METADATA SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_ALLOW_ROWID_IN_VIEW SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_USE_URI=1 SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_ENABLE_UNLOCK_NOTIFY SQLITE_OMIT_LOOKASIDE=1 SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_OMIT_LOAD_EXTENSION)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(velumbra_sqlite3 PUBLIC Threads::Threads ${CMAKE_DL_LIBS} m)
endif()
add_library(SQLite::SQLite3 ALIAS velumbra_sqlite3)
set(SQLite3_VERSION "")  # the pinned source is the version; nothing to compare it with
