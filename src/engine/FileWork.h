// Internal to the engine: what the work on whole database files (repair, salvage into a blank census,
// copies and compaction) shares: a raw handle, the keepResponsive calls while SQLite works, and the
// statements and checks they all run.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Database.h"
#include "engine/Status.h"

namespace engine::detail {

// The table in which SQLite's recovery puts the rows it cannot give to a table of the schema.
inline constexpr const char* kLostRows = "velumbra_righe_perse";
// The companions SQLite may give a database file.
inline constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};
// How many virtual machine steps of SQLite run between two calls of the caller's keepResponsive.
inline constexpr int kStepsBetweenTicks = 20000;

// A raw handle on a file, closed on every way out.
class Handle {
  public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        sqlite3_close_v2(db);
        db = nullptr;
    }
    sqlite3* db = nullptr;
};

// Calls the caller's keepResponsive while SQLite works on `db`.
class Ticking {
  public:
    Ticking(sqlite3* db, const std::function<void()>& keepResponsive) : db_(keepResponsive ? db : nullptr) {
        if (db_) {
            sqlite3_progress_handler(db_, kStepsBetweenTicks, &Ticking::Tick,
                                     const_cast<std::function<void()>*>(&keepResponsive));
        }
    }
    ~Ticking() {
        if (db_) {
            sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        }
    }
    // Stops calling before `db` is closed.
    void Release() {
        if (db_) {
            sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        }
        db_ = nullptr;
    }
    Ticking(const Ticking&) = delete;
    Ticking& operator=(const Ticking&) = delete;

  private:
    static int Tick(void* keepResponsive) {
        (*static_cast<std::function<void()>*>(keepResponsive))();
        return 0;
    }
    sqlite3* db_;
};

Status ExecOn(sqlite3* db, const std::string& sql);
Status NotCensus(std::string_view path);
// Why a census cannot be worked on where it stands (`doing`: "ripararlo", "sostituirlo"): this program
// has it open, or there is no such file; nothing when it can be.
std::optional<Status> RefusedInPlace(const std::filesystem::path& census, std::string_view doing);
// A failure of the disk or of memory, as opposed to a row or a statement that does not fit.
bool IsFatal(int rc);
void RemoveWithCompanions(const std::filesystem::path& file);
// Opens `file` (UTF-8) on a connection that holds it alone, until the handle is closed: SQLITE_BUSY
// when another connection of any process holds it open. The header is not read, so a file whose first
// page is damaged is locked all the same.
int OpenAlone(const std::string& file, bool create, Handle& h);
// The answer of a one-value query, or `fallback`.
std::int64_t QueryInt(sqlite3* db, const std::string& sql, std::int64_t fallback = 0);
bool TableExists(sqlite3* db, const std::string& name);
// Runs the caller's finishing statements (Windows-1252, text constants between double quotes) on a
// rebuilt file, inside its transaction. What they cannot do is left as it was read, unless the disk
// or the memory failed.
Status RunFinish(sqlite3* db, const std::string& finish);
// Marks a rebuilt file as a census with its log in WAL mode; from here on what it writes is flushed.
Status Seal(sqlite3* db);

// Rebuilds into `blank` (a blank census, held alone) the rows of the damaged file `from` that `out`
// holds: those of the tables recovered under their own description, by the names of their columns,
// and the lost rows, each into the one table of the blank whose columns its values fit (or, when the
// part of the description that names its b-tree was itself among the lost rows, that table); the rows
// still on the pages of `from` are read straight off them. Only the tables to fill receive rows; there
// the recovered rows take their keys first, and the blank's own rows keep the keys no recovered row
// took. A file whose header could not be read and of which no row was placed was no census.
Status Salvage(sqlite3* out, sqlite3* blank, sqlite3* from, const Database::BlankCensus& census,
               std::string_view path, bool headerRead, const std::function<void()>& keepResponsive);

}  // namespace engine::detail
