// Database files: creating them (a new census built under a temporary name among them), opening and
// closing them, the registry of the files this program holds open, and the read-only handles that
// snapshots stream from.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "engine/FileWork.h"
#include "engine/Messages.h"
#include "engine/Sqlite.h"

namespace engine {

using detail::Failure;
using detail::kBusyTimeoutMs;
using detail::Stmt;

// Locale strings have the form ";LANGID=0x0409;CP=1252;COUNTRY=0"; the census is kept in code page
// 1252, so any other code page is refused.
bool detail::IsSupportedLocale(std::string_view locale) {
    std::size_t pos = 0;
    bool any = false;
    while (pos < locale.size()) {
        std::size_t end = locale.find(';', pos);
        if (end == std::string_view::npos) {
            end = locale.size();
        }
        const std::string_view item = locale.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) {
            continue;
        }
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            return false;
        }
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        if (key == "CP") {
            if (value != "1252") {
                return false;
            }
        } else if (key != "LANGID" && key != "COUNTRY") {
            return false;
        }
        any = true;
    }
    return any;
}

namespace {

std::mutex& OpenFilesMutex() {
    static std::mutex m;
    return m;
}

std::multiset<std::string>& OpenFiles() {
    static std::multiset<std::string> files;
    return files;
}

std::string FileKey(const std::filesystem::path& path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(path, ec);
    return files::Utf8Of(ec ? path : canonical);
}

}  // namespace

Database::Database(sqlite3* db, std::filesystem::path path) : db_(db), path_(std::move(path)) {
    if (db_) {
        sqlite3_commit_hook(db_, &Database::RefuseStrayCommit, this);
    }
    registeredAs_ = FileKey(path_);
    std::lock_guard lock(OpenFilesMutex());
    OpenFiles().insert(registeredAs_);
}

bool Database::IsOpenInProgram(const std::filesystem::path& path) {
    const std::string key = FileKey(path);
    std::lock_guard lock(OpenFilesMutex());
    return OpenFiles().count(key) > 0;
}

namespace {

// Makes the empty file at `file` exclusively, so that two creations never share it; `shown` is the
// name the person knows it by.
Status MakeEmptyFile(const std::filesystem::path& file, std::string_view shown) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        return Status::Error(Describe("Il file '", Quote(shown), "' esiste già."));
    }
    switch (files::MakeNewFile(file)) {
        case files::Made::Done:
            return Status::Ok();
        case files::Made::Exists:
            return Status::Error(Describe("Il file '", Quote(shown), "' esiste già."));
        case files::Made::Failed:
            break;
    }
    return Status::Error(Describe("Impossibile creare il file '", Quote(shown),
                                  "': la cartella non esiste o non si hanno i permessi di scrittura."));
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Create(const std::filesystem::path& path,
                                                   std::string_view locale) {
    if (!detail::IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    if (path.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il nome del file del database è vuoto."));
    }
    if (Status made = MakeEmptyFile(path, files::ShownPath(path)); !made) {
        return made;
    }
    std::error_code ec;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(files::Utf8Of(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> result(new Database(db, path));
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        Status s = result->Exec("PRAGMA application_id = " + std::to_string(kApplicationId) +
                                "; PRAGMA user_version = " + std::to_string(kLayoutVersion) +
                                "; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
        if (s) {
            result->NoteJournalMode();
            return result;
        }
        result.reset();
        std::filesystem::remove(path, ec);
        return s;
    }
    Status failure = Failure(db, rc);
    result.reset();
    std::filesystem::remove(path, ec);
    return failure;
}

Result<std::unique_ptr<Database>> Database::CreateForBuilding(const std::filesystem::path& path,
                                                              std::string_view locale) {
    if (!detail::IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    if (path.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il nome del file del database è vuoto."));
    }
    const std::string shown = files::ShownPath(path);
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return Status::Error(Describe("Il file '", Quote(shown), "' esiste già."));
    }
    files::RemoveAbandonedBuilds(path.parent_path());
    const auto building = files::BuildingName(path);
    if (Status made = MakeEmptyFile(building, shown); !made) {
        return made;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(files::Utf8Of(building).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> result(new Database(db, building));
    result->target_ = path;
    if (rc != SQLITE_OK) {
        Status failure = Failure(db, rc);
        (void)result->Close();  // removes the temporary; the open's failure is the one to tell
        return failure;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Nobody can see the file before it is finished: the journal stays in memory and nothing is
    // flushed until FinishBuilding.
    Status s = result->Exec("PRAGMA application_id = " + std::to_string(kBuildingApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kLayoutVersion) +
                            "; PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF;");
    if (!s) {
        (void)result->Close();  // removes the temporary; the pragma's failure is the one to tell
        return s;
    }
    return result;
}

Status Database::FinishBuilding() {
    if (!db_ || target_.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il database non è in costruzione."));
    }
    const std::filesystem::path building = path_;
    const std::filesystem::path target = target_;
    const std::string shown = files::ShownPath(target);
    Status s =
        Exec("PRAGMA application_id = " + std::to_string(kApplicationId) + "; PRAGMA journal_mode = WAL;");
    target_.clear();  // from here on, closing keeps the file: it is removed below when need be
    if (s) {
        s = Close();
    } else {
        (void)Close();  // the pragma's failure is the one to tell
    }
    const auto diskError = [&] {
        return Status::Error(Describe("Errore di scrittura sul disco del file '", Quote(shown), "'."));
    };
    if (s && !files::SyncFile(building)) {
        s = diskError();
    }
    if (s && !files::RenameNoReplace(building, target)) {
        std::error_code ec;
        s = std::filesystem::exists(target, ec)
                ? Status::Error(Describe("Il file '", Quote(shown), "' esiste già."))
                : Status::Error(Describe("Impossibile creare il file '", Quote(shown), "'."));
    }
    if (s) {
        // Some file systems (network shares among them) cannot flush a folder; the file itself is on
        // the disk already, so its name is the only thing at stake.
        (void)files::SyncFolder(target.parent_path());
    }
    if (!s) {
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            std::filesystem::remove(files::WithSuffix(building, suffix), ec);
        }
    }
    return s;
}

namespace {

// The URI that opens the file `utf8` as one that cannot change while it is read: no lock, no log index.
std::string ImmutableUri(std::string utf8) {
    std::string uri = "file:";
#ifdef _WIN32
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    if (utf8.size() > 1 && utf8[1] == ':') {
        uri += '/';
    }
#endif
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-_.~:", c)) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0F];
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Open(const std::filesystem::path& path, Contents contents,
                                                 Access access) {
    std::error_code ec;
    const std::string shown = files::ShownPath(path);
    // What killed writers left beside the census goes with the next command on it.
    if (!path.empty()) {
        detail::RemoveAbandonedFiles(path.parent_path());
    }
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        return Status::Error(Describe("Impossibile trovare il file '", Quote(shown), "'."));
    }
    if (std::filesystem::is_directory(path, ec)) {
        return Status::Error(Describe("'", Quote(shown), "' è una cartella, non un file di database."));
    }
    const bool readOnly = access == Access::ReadOnly;
    const auto notCensus = [&] {
        return Status::Error(Describe("Il file '", Quote(shown), "' non è un database del censimento."));
    };
    std::unique_ptr<Database> result;
    sqlite3* db = nullptr;
    std::int64_t mark = 0;
    // Read-only, a census where the index of its log cannot be made (a read-only folder or medium) is
    // opened a second time as a file that cannot change while it is read.
    for (const bool immutable : {false, true}) {
        result.reset();
        db = nullptr;
        // Read-only, the handle still writes where it can, so that it leaves no log behind when it
        // closes; it changes nothing (query_only).
        const int flags = immutable ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE;
        const int rc = sqlite3_open_v2(
            immutable ? ImmutableUri(files::Utf8Of(path)).c_str() : files::Utf8Of(path).c_str(), &db, flags,
            nullptr);
        result.reset(new Database(db, path));
        if (rc != SQLITE_OK) {
            return Failure(db, rc);
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        Stmt id(db, "PRAGMA application_id");
        const int code = id.prepared() ? id.Step() : sqlite3_errcode(db);
        if (code == SQLITE_ROW) {
            mark = id.ColumnInt(0);
            break;
        }
        if ((code & 0xFF) == SQLITE_NOTADB) {
            return notCensus();
        }
        const bool companionsRefused =
            ((code & 0xFF) == SQLITE_CANTOPEN || (code & 0xFF) == SQLITE_READONLY) &&
            !files::CanWriteIn(path.parent_path().empty() ? "." : path.parent_path());
        if (!companionsRefused) {
            return Failure(db, code);
        }
        if (!readOnly || immutable) {
            return detail::Unwritable(path);
        }
    }
    if (mark != kApplicationId) {
        return notCensus();
    }
    // A census written by a later version of the program (the version of its layout, user_version)
    // may hold what this one cannot keep: it is refused rather than changed.
    Stmt version(db, "PRAGMA user_version");
    if (version.prepared() && version.Step() == SQLITE_ROW && version.ColumnInt(0) > kLayoutVersion) {
        return detail::NewerLayout(shown);
    }
    version = Stmt();
    // A file marked as a census but without all its tables (a creation that never finished) is
    // refused here, so that no command works on half a census.
    if (contents == Contents::WholeCensus) {
        if (Status complete = detail::CheckCensusTables(db, shown); !complete) {
            return complete;
        }
    }
    if (readOnly) {
        if (Status s = result->Exec("PRAGMA query_only = ON"); !s) {
            return s;
        }
        result->NoteJournalMode();
        return result;
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
        return detail::Unwritable(path);
    }
    Status s = result->Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
    if (!s) {
        return s;
    }
    result->NoteJournalMode();
    return result;
}

void Database::NoteJournalMode() {
    // Asked once: a file system without shared memory keeps a rollback journal even when WAL is asked.
    Stmt mode(db_, "PRAGMA journal_mode");
    wal_ = mode.prepared() && mode.Step() == SQLITE_ROW && mode.ColumnText(0) == "wal";
}

Database::~Database() {
    if (db_) {
        (void)Close();
    }
}

Status Database::RefuseNewerLayout(const std::filesystem::path& path) {
    return detail::NewerLayout(files::ShownPath(path));
}

Status Database::CheckIntact() {
    return detail::CheckIntact(db_, files::ShownPath(path_));
}

std::optional<Status> Database::CheckIntactApart() const {
    detail::Handle reader;
    if (!db_ || sqlite3_open_v2(files::Utf8Of(path_).c_str(), &reader.db, SQLITE_OPEN_READONLY, nullptr) !=
                    SQLITE_OK) {
        return std::nullopt;
    }
    sqlite3_busy_timeout(reader.db, detail::kBusyTimeoutMs);
    // A check that could not read the file (a medium where the log's index cannot be made, say) is
    // left to this handle, which says why as it would.
    bool judged = false;
    Status verdict = detail::CheckIntact(reader.db, files::ShownPath(path_), judged);
    if (!judged) {
        return std::nullopt;
    }
    return verdict;
}

Status Database::Close() {
    if (!db_) {
        return Status::Ok();
    }
    {
        std::lock_guard lock(OpenFilesMutex());
        auto it = OpenFiles().find(registeredAs_);
        if (it != OpenFiles().end()) {
            OpenFiles().erase(it);
        }
    }
    if (!sqlite3_get_autocommit(db_)) {
        (void)Exec("ROLLBACK");
    }
    for (sqlite3* reader : idleReaders_) {
        sqlite3_close_v2(reader);
    }
    idleReaders_.clear();
    const int rc = sqlite3_close(db_);
    if (rc != SQLITE_OK) {
        Status s = Failure(db_, rc);
        sqlite3_close_v2(db_);  // closes as soon as the last statement is finalised
        db_ = nullptr;
        depth_ = 0;
        RemoveUnfinishedBuild();
        return s;
    }
    db_ = nullptr;
    depth_ = 0;
    RemoveUnfinishedBuild();
    return Status::Ok();
}

sqlite3* Database::TakeReader() {
    // A transaction that has changed no row yet shows what a reader shows.
    if (!db_ || (sqlite3_txn_state(db_, "main") == SQLITE_TXN_WRITE &&
                 sqlite3_total_changes64(db_) != changesAtBegin_)) {
        return nullptr;
    }
    if (!wal_) {
        return nullptr;
    }
    if (!idleReaders_.empty()) {
        sqlite3* reader = idleReaders_.back();
        idleReaders_.pop_back();
        return reader;
    }
    // A reader serves one snapshot at a time, never two threads at once: it takes no lock of its own
    // on every call.
    sqlite3* reader = nullptr;
    if (sqlite3_open_v2(files::Utf8Of(path_).c_str(), &reader, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(reader);
        return nullptr;  // the snapshot is then kept in memory instead
    }
    sqlite3_busy_timeout(reader, kBusyTimeoutMs);
    return reader;
}

void Database::ReturnReader(sqlite3* reader) {
    if (db_ && idleReaders_.size() < 4) {
        idleReaders_.push_back(reader);
    } else {
        sqlite3_close_v2(reader);
    }
}

void Database::RemoveUnfinishedBuild() {
    if (target_.empty()) {
        return;
    }
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    std::filesystem::remove(files::WithSuffix(path_, "-journal"), ec);
    std::filesystem::remove(files::WithSuffix(path_, "-wal"), ec);
    std::filesystem::remove(files::WithSuffix(path_, "-shm"), ec);
    target_.clear();
}

}  // namespace engine
