// The census tables of an open database, read with the plain SQLite library: every table its file
// describes that the engine says exists (so neither SQLite's own tables nor the engine's), by name.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Database.h"

namespace testing_support {

inline std::vector<std::string> CensusTableNames(const engine::Database& db) {
    std::vector<std::string> names;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.handle(), "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &stmt,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            if (db.TableExists(name) && !name.starts_with("sqlite_")) {
                names.push_back(name);
            }
        }
    }
    sqlite3_finalize(stmt);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testing_support
