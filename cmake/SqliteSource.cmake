# Debian's source package of SQLite at one pinned version, fetched once, at configure time, into a
# folder that the builds of one checkout share (.deps/ beside the sources: the test, Windows and
# package builds fetch it once between them; scripts/fetch-debian-source.sh). The recovery extension (SqliteRecover.cmake) and, where
# SQLite is compiled in, the amalgamation (SqliteAmalgamation.cmake) come from it.
include_guard(GLOBAL)
set(VELUMBRA_SQLITE_SOURCE_VERSION "3.40.1-2+deb12u2" CACHE STRING
    "Debian version of the sqlite3 source package that the recovery extension is compiled from")

set(VELUMBRA_SQLITE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/sqlite3-source" CACHE PATH
    "Where the pinned SQLite source package is fetched and unpacked")
set(_velumbra_sqlite_source "${VELUMBRA_SQLITE_SOURCE_DIR}")
set(VELUMBRA_SQLITE_TREE "${_velumbra_sqlite_source}/sqlite3-${VELUMBRA_SQLITE_SOURCE_VERSION}")
if(NOT EXISTS "${VELUMBRA_SQLITE_TREE}/.unpacked")
  message(STATUS "Fetching the source of SQLite ${VELUMBRA_SQLITE_SOURCE_VERSION}")
  execute_process(
    COMMAND sh "${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source.sh" sqlite3 "${VELUMBRA_SQLITE_SOURCE_VERSION}"
            "${_velumbra_sqlite_source}"
    RESULT_VARIABLE _velumbra_fetch_result)
  if(NOT _velumbra_fetch_result EQUAL 0)
    message(FATAL_ERROR "Could not fetch the source of SQLite ${VELUMBRA_SQLITE_SOURCE_VERSION} "
                        "(scripts/fetch-debian-source.sh failed)")
  endif()
endif()
