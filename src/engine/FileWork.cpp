// What the work on whole database files shares.
#include "engine/FileWork.h"

#include <iterator>

#include "engine/FileSystem.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"

namespace engine::detail {

Status ExecOn(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db, rc);
}

Status NotCensus(std::string_view path) {
    return Status::Error(Describe("Il file '", Quote(path), "' non è un database del censimento."));
}

std::optional<Status> RefusedInPlace(const std::filesystem::path& census, std::string_view doing) {
    const std::string shown = files::ShownPath(census);
    if (Database::IsOpenInProgram(census)) {
        return Status::Error(Describe("Il database '", Quote(shown),
                                      "' è aperto in questo programma: occorre sconnetterlo prima di ", doing,
                                      "."));
    }
    std::error_code ec;
    if (census.empty() || !std::filesystem::is_regular_file(census, ec)) {
        return Status::Error(Describe("Impossibile trovare il file '", Quote(shown), "'."));
    }
    return std::nullopt;
}

bool IsFatal(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
            return true;
        default:
            return false;
    }
}

void RemoveWithCompanions(const std::filesystem::path& file) {
    std::error_code ec;
    for (const char* suffix : kCompanions) {
        std::filesystem::remove(files::WithSuffix(file, suffix), ec);
    }
    std::filesystem::remove(file, ec);
}

// Opens `file` (UTF-8) on a connection that holds it alone: an exclusive lock, taken at once through
// the connection's own file, refuses a file that another connection of any process holds open (a
// connection in WAL mode keeps a shared lock on the file while it is open), and the exclusive locking
// mode keeps the lock until the handle is closed. The header is not read, so a file whose first page
// is damaged is locked all the same. SQLITE_BUSY when someone else holds the file.
int OpenAlone(const std::string& file, bool create, Handle& h) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(file.c_str(), &h.db, flags, nullptr);
    if (rc != SQLITE_OK) {
        return rc;
    }
    sqlite3_file* fd = nullptr;
    rc = sqlite3_file_control(h.db, "main", SQLITE_FCNTL_FILE_POINTER, &fd);
    if (rc != SQLITE_OK || !fd || !fd->pMethods) {
        return SQLITE_CANTOPEN;
    }
    for (const int lock : {SQLITE_LOCK_SHARED, SQLITE_LOCK_RESERVED, SQLITE_LOCK_EXCLUSIVE}) {
        rc = fd->pMethods->xLock(fd, lock);
        if (rc != SQLITE_OK) {
            return (rc & 0xFF) == SQLITE_BUSY ? SQLITE_BUSY : rc;
        }
    }
    return sqlite3_exec(h.db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr);
}

std::int64_t QueryInt(sqlite3* db, const std::string& sql, std::int64_t fallback) {
    Stmt q(db, sql);
    return q.prepared() && q.Step() == SQLITE_ROW ? q.ColumnInt(0) : fallback;
}

bool TableExists(sqlite3* db, const std::string& name) {
    return QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = " +
                            QuoteLiteral(name)) > 0;
}

Status RunFinish(sqlite3* db, const std::string& finish) {
    if (finish.empty()) {
        return Status::Ok();
    }
    const int rc = sqlite3_exec(db, Utf8(TranslateSql(finish)).c_str(), nullptr, nullptr, nullptr);
    return IsFatal(rc) ? Failure(db, rc) : Status::Ok();
}

Status Seal(sqlite3* db) {
    return ExecOn(db, "PRAGMA synchronous = FULL; PRAGMA application_id = " + std::to_string(kApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(kLayoutVersion) +
                          "; PRAGMA journal_mode = WAL");
}

}  // namespace engine::detail
