# SQLite's recovery extension (ext/recover in SQLite's source tree), compiled from Debian's source
# package of the same version as the system library the project links (SqliteSource.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/SqliteSource.cmake)
set(VELUMBRA_SQLITE_RECOVER_DIR "${VELUMBRA_SQLITE_TREE}/ext/recover")
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
