# SQLite's recovery extension (ext/recover in SQLite's source tree), compiled from Debian's source
# package of the same version as the system library the project links. The source is fetched once, at
# configure time, into the build tree.
set(VELUMBRA_SQLITE_SOURCE_VERSION "3.40.1-2+deb12u2" CACHE STRING
    "Debian version of the sqlite3 source package that the recovery extension is compiled from")

set(_velumbra_sqlite_source "${CMAKE_BINARY_DIR}/_deps/sqlite3-source")
set(_velumbra_sqlite_tree "${_velumbra_sqlite_source}/sqlite3-${VELUMBRA_SQLITE_SOURCE_VERSION}")
if(NOT EXISTS "${_velumbra_sqlite_tree}/.unpacked")
  message(STATUS "Fetching the source of SQLite ${VELUMBRA_SQLITE_SOURCE_VERSION}")
  execute_process(
    COMMAND sh "${PROJECT_SOURCE_DIR}/scripts/fetch-sqlite-source.sh" "${VELUMBRA_SQLITE_SOURCE_VERSION}"
            "${_velumbra_sqlite_source}"
    RESULT_VARIABLE _velumbra_fetch_result)
  if(NOT _velumbra_fetch_result EQUAL 0)
    message(FATAL_ERROR "Could not fetch the source of SQLite ${VELUMBRA_SQLITE_SOURCE_VERSION} "
                        "(scripts/fetch-sqlite-source.sh failed)")
  endif()
endif()
set(VELUMBRA_SQLITE_RECOVER_DIR "${_velumbra_sqlite_tree}/ext/recover")
if(SQLite3_VERSION AND NOT VELUMBRA_SQLITE_SOURCE_VERSION MATCHES "^${SQLite3_VERSION}-")
  message(WARNING "The recovery extension (${VELUMBRA_SQLITE_SOURCE_VERSION}) and the system SQLite "
                  "(${SQLite3_VERSION}) differ in version")
endif()

enable_language(C)
add_library(velumbra_sqlite_recover OBJECT
  "${VELUMBRA_SQLITE_RECOVER_DIR}/sqlite3recover.c"
  "${VELUMBRA_SQLITE_RECOVER_DIR}/dbdata.c")
target_include_directories(velumbra_sqlite_recover SYSTEM PUBLIC "${VELUMBRA_SQLITE_RECOVER_DIR}")
target_link_libraries(velumbra_sqlite_recover PUBLIC SQLite::SQLite3)
# Compiled into the program, not loaded as an extension: SQLite's API is called directly.
target_compile_definitions(velumbra_sqlite_recover PRIVATE SQLITE_CORE)
set_target_properties(velumbra_sqlite_recover PROPERTIES POSITION_INDEPENDENT_CODE ON C_STANDARD 99)
# SQLite's own style, not faults: unused callback parameters, signed/unsigned comparisons of sizes,
# commented fall-throughs between switch cases.
target_compile_options(velumbra_sqlite_recover PRIVATE -Wno-unused-parameter -Wno-sign-compare
                       -Wno-implicit-fallthrough)
