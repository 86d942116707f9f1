// Copies of a database file: a copy of an open census, page by page, into a new file, and a compacted
// copy of a closed one; each new file appears under its name complete or not at all. A copy put in the
// place of a census replaces it in one step.
#include <filesystem>
#include <functional>
#include <string>

#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "engine/FileWork.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"
#include "text/Text.h"

namespace engine {

using detail::ExecOn;
using detail::Failure;
using detail::Handle;
using detail::IsSupportedLocale;
using detail::OpenAlone;
using detail::RemoveWithCompanions;
using detail::Stmt;
using detail::Ticking;
using detail::Utf8;

namespace {

// Makes the new file `target` (`shown` is its name as the person knows it) through `write`, which is
// given a temporary name beside it: the file is flushed to the disk and named only when complete, never
// over another file; when `target` is taken meanwhile, `another` (when given) changes it to the next name
// to try. Nothing is left behind when it fails.
Status WriteNewFile(std::filesystem::path& target, std::string_view shown,
                    const std::function<Status(const std::filesystem::path& temporary)>& write,
                    const std::function<bool(std::filesystem::path& target)>& another = {}) {
    std::error_code ec;
    const auto exists = [&] { return Status::Error(Describe("Il file '", Quote(shown), "' esiste già.")); };
    if (std::filesystem::exists(target, ec)) {
        return exists();
    }
    const std::filesystem::path folder = target.parent_path();
    files::RemoveAbandonedBuilds(folder);
    const std::filesystem::path temporary = files::BuildingName(target);
    RemoveWithCompanions(temporary);  // this process's own, from a write that never ended
    Status s = write(temporary);
    if (s && !files::SyncFile(temporary)) {
        s = Status::Error(Describe("Errore di scrittura sul disco del file '", Quote(shown), "'."));
    }
    while (s && !files::RenameNoReplace(temporary, target)) {
        if (!std::filesystem::exists(target, ec)) {
            s = Status::Error(Describe("Impossibile creare il file '", Quote(shown), "'."));
        } else if (!another || !another(target)) {
            s = exists();
        }
    }
    if (!s) {
        RemoveWithCompanions(temporary);
        return s;
    }
    (void)files::SyncFolder(folder.empty() ? std::filesystem::path(".") : folder);  // the file is whole
    return s;
}

// How many pages a copy takes between two calls of the caller's keepResponsive.
constexpr int kPagesPerStep = 256;

// Copies what `db` holds, page by page as it stands when the copy begins, into the new file `file`.
Status BackupInto(sqlite3* db, const std::filesystem::path& file,
                  const std::function<void()>& keepResponsive) {
    Handle out;
    int rc = sqlite3_open_v2(files::Utf8Of(file).c_str(), &out.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    Status s = rc == SQLITE_OK ? ExecOn(out.db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF")
                               : Failure(out.db, rc);
    if (!s) {
        return s;
    }
    sqlite3_backup* backup = sqlite3_backup_init(out.db, "main", db, "main");
    if (!backup) {
        return Failure(out.db, sqlite3_errcode(out.db));
    }
    while ((rc = sqlite3_backup_step(backup, kPagesPerStep)) == SQLITE_OK) {
        if (keepResponsive) {
            keepResponsive();
        }
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        return Failure(out.db, rc);
    }
    rc = sqlite3_close(out.db);
    out.db = nullptr;
    return rc == SQLITE_OK ? Status::Ok() : Failure(nullptr, rc);
}

// Whether the file of the census at `path` holds, by itself, the census as last committed: every change
// its log holds is carried into it, through a handle of its own and without waiting for anybody.
// False when some change could not be carried over yet (a reader still needs the file as it was).
bool CheckpointedWhole(const std::filesystem::path& path) {
    Handle checkpointer;
    if (sqlite3_open_v2(files::Utf8Of(path).c_str(), &checkpointer.db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        return false;
    }
    int logged = -1;
    int carried = -1;
    // The log is known to a handle once it has read the file.
    return ExecOn(checkpointer.db, "PRAGMA schema_version") &&
           sqlite3_wal_checkpoint_v2(checkpointer.db, "main", SQLITE_CHECKPOINT_PASSIVE, &logged, &carried) ==
               SQLITE_OK &&
           logged >= 0 && logged == carried;
}

}  // namespace

Status Database::CopyInto(std::filesystem::path& target,
                          const std::function<bool(std::filesystem::path& target)>& another,
                          const std::function<void()>& keepResponsive) {
    if (!db_) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il database non è aperto."));
    }
    const std::string shown = files::ShownPath(target);
    // Only a transaction that holds the write lock and has changed nothing yet shows, to a reader, the
    // census it replaces; a copy taken otherwise could hold changes that may yet be withdrawn, or a
    // census someone else replaces before this handle does.
    if (depth_ != 1 || sqlite3_txn_state(db_, "main") != SQLITE_TXN_WRITE ||
        sqlite3_total_changes64(db_) != changesAtBegin_) {
        return Status::Error(
            depth_ == 0 ? text::Utf8ToCp1252Lossy(
                              "La copia del database si può fare solo all'inizio di una transazione.")
                        : text::Utf8ToCp1252Lossy(
                              "Il database ha una transazione in corso: la copia si può fare solo "
                              "quando è conclusa."));
    }
    // A write transaction refuses a backup from its own handle: the census as last committed is read
    // through a handle of its own.
    Handle reader;
    int rc = sqlite3_open_v2(files::Utf8Of(path_).c_str(), &reader.db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        return Failure(reader.db, rc);
    }
    sqlite3_busy_timeout(reader.db, detail::kBusyTimeoutMs);
    // While this transaction holds the write lock nobody commits, so a file that holds every committed
    // change stays the census it replaces and is copied as it is, at the pace of the disk; otherwise,
    // or when that copy fails, the census is copied page by page through the reader.
    const bool whole = CheckpointedWhole(path_);
    return WriteNewFile(
        target, shown,
        [&](const std::filesystem::path& temporary) {
            std::error_code ec;
            if (whole &&
                std::filesystem::copy_file(path_, temporary, std::filesystem::copy_options::none, ec)) {
                return Status::Ok();
            }
            RemoveWithCompanions(temporary);
            return BackupInto(reader.db, temporary, keepResponsive);
        },
        another);
}

Status Database::ReplaceWithCopyOf(const std::filesystem::path& census, const std::filesystem::path& source,
                                   const std::function<void()>& keepResponsive) {
    if (auto refused = detail::RefusedInPlace(census, "sostituirlo")) {
        return *refused;
    }
    const std::string shown = files::ShownPath(census);
    // The census is held alone from here until the copy has taken its name.
    Handle held;
    int rc = OpenAlone(files::Utf8Of(census), false, held);
    if ((rc & 0xFF) == SQLITE_BUSY) {
        return Status::Error(Describe("Il database '", Quote(shown),
                                      "' è in uso in un altro programma: occorre chiuderlo prima di "
                                      "sostituirlo."));
    }
    if (rc != SQLITE_OK) {
        return Failure(held.db, rc);
    }
    const std::filesystem::path folder = census.parent_path();
    files::RemoveAbandonedBuilds(folder);
    const std::filesystem::path temporary = files::BuildingName(census);
    RemoveWithCompanions(temporary);  // this process's own, from a write that never ended
    Status s;
    {
        // Read through a handle that may write where it can, so that closing it leaves no log beside the
        // copy; it changes nothing.
        Handle from;
        rc = sqlite3_open_v2(files::Utf8Of(source).c_str(), &from.db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(from.db, "PRAGMA query_only = ON", nullptr, nullptr, nullptr);
        }
        s = rc == SQLITE_OK ? BackupInto(from.db, temporary, keepResponsive) : Failure(from.db, rc);
    }
    if (s && !files::SyncFile(temporary)) {
        s = Status::Error(Describe("Errore di scrittura sul disco del file '", Quote(shown), "'."));
    }
    // The old census is read once (a journal left by a writer that was killed is rolled back), then takes
    // in what its log holds, so that the log may go: killed from here on, the census at its name is whole
    // without it.
    if (s) {
        s = ExecOn(held.db, "SELECT count(*) FROM sqlite_master");
    }
    if (s) {
        Stmt checkpoint(held.db, "PRAGMA wal_checkpoint(TRUNCATE)");
        rc = checkpoint.prepared() ? checkpoint.Step() : checkpoint.rc();
        if (rc != SQLITE_ROW) {
            s = Failure(held.db, rc);
        } else if (checkpoint.ColumnInt(0) != 0) {
            s = Failure(held.db, SQLITE_BUSY);
        }
    }
    if (!s) {
        RemoveWithCompanions(temporary);
        return s;
    }
    // Closing the old census's handle must neither write a log nor remove one by the name the copy
    // now has.
    sqlite3_db_config(held.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    if constexpr (!files::kOpenFilesCanBeRenamed) {
        // Windows replaces no file that a handle holds: from here the replacing itself is the check.
        held.Close();
    }
    for (const char* companion : {"-wal", "-shm"}) {
        std::error_code ec;
        std::filesystem::remove(files::WithSuffix(census, companion), ec);
    }
    if (!files::RenameReplacing(temporary, census)) {
        RemoveWithCompanions(temporary);
        return Status::Error(Describe("Impossibile sostituire il file '", Quote(shown), "'."));
    }
    (void)files::SyncFolder(folder.empty() ? std::filesystem::path(".") : folder);  // the file is whole
    return Status::Ok();
}

void Database::Remove(const std::filesystem::path& file) {
    RemoveWithCompanions(file);
}

Status Database::Compact(const std::filesystem::path& source, const std::filesystem::path& destination,
                         std::string_view locale, const std::function<void()>& keepResponsive) {
    if (!IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    std::error_code ec;
    std::filesystem::path target = destination;
    const std::string shown = files::ShownPath(destination);
    if (destination.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il nome del file di destinazione è vuoto."));
    }
    if (std::filesystem::exists(target, ec)) {
        return Status::Error(Describe("Il file '", Quote(shown), "' esiste già."));
    }
    // Only read: a census in a folder or on a medium nobody can write to is copied all the same.
    auto opened = Open(source, Contents::WholeCensus, Access::ReadOnly);
    if (!opened) {
        return opened.status();
    }
    sqlite3* db = (*opened)->db_;
    const Ticking ticking(db, keepResponsive);
    // A damaged census is not passed on: the copy would read as sound and hold only what could be read.
    if (Status s = detail::CheckIntact(db, files::ShownPath(source)); !s) {
        return s;
    }
    // VACUUM INTO writes only the new file, which a handle that changes nothing may not do.
    return WriteNewFile(target, shown, [&](const std::filesystem::path& temporary) {
        return ExecOn(db, "PRAGMA query_only = OFF; VACUUM INTO " + QuoteLiteral(files::Utf8Of(temporary)));
    });
}

}  // namespace engine
