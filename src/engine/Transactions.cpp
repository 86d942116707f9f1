// Transactions, nested as savepoints, and the statements run on the file's handle.
#include "engine/Database.h"
#include "engine/Messages.h"
#include "engine/Sqlite.h"

namespace engine {

using detail::Failure;

Status Database::Exec(const std::string& utf8Sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, utf8Sql.c_str(), nullptr, nullptr, &error);
    sqlite3_free(error);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db_, rc);
}

int Database::RefuseStrayCommit(void* database) {
    const auto* self = static_cast<const Database*>(database);
    return self->depth_ > 0 && !self->committing_ ? 1 : 0;
}

int Database::TransactionDepth() const {
    return db_ && !sqlite3_get_autocommit(db_) ? depth_ : 0;
}

Status Database::BeginTransaction() {
    if (depth_ > 0 && sqlite3_get_autocommit(db_)) {
        depth_ = 0;  // the engine already ended it
    }
    if (depth_ == 0) {
        changesAtBegin_ = sqlite3_total_changes64(db_);
    }
    Status s = depth_ == 0 ? Exec("BEGIN IMMEDIATE") : Exec("SAVEPOINT level" + std::to_string(depth_ + 1));
    if (s) {
        ++depth_;
    }
    return s;
}

Status Database::CommitTransaction() {
    if (depth_ > 0 && sqlite3_get_autocommit(db_)) {
        depth_ = 0;  // the engine already ended it (a failed write rolled it back)
    }
    if (depth_ == 0) {
        return Status::Error(
            text::Utf8ToCp1252Lossy("Impossibile convalidare: nessuna transazione è in corso."));
    }
    committing_ = depth_ == 1;
    Status s = depth_ == 1 ? Exec("COMMIT") : Exec("RELEASE level" + std::to_string(depth_));
    committing_ = false;
    if (s) {
        --depth_;
    }
    return s;
}

Status Database::RollbackTransaction() {
    if (depth_ > 0 && sqlite3_get_autocommit(db_)) {
        depth_ = 0;
    }
    if (depth_ == 0) {
        return Status::Error(
            text::Utf8ToCp1252Lossy("Impossibile annullare: nessuna transazione è in corso."));
    }
    const std::string level = "level" + std::to_string(depth_);
    Status s = depth_ == 1 ? Exec("ROLLBACK") : Exec("ROLLBACK TO " + level + "; RELEASE " + level);
    if (s) {
        --depth_;
    }
    return s;
}

}  // namespace engine
