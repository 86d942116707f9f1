// Repair and compaction of database files.
#include <sqlite3recover.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/Database.h"
#include "engine/DbPage.h"
#include "engine/FileSystem.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"

namespace engine {

using detail::Failure;
using detail::FsPath;
using detail::IsSupportedLocale;
using detail::Stmt;
using detail::Utf8;

namespace {

// The table in which SQLite's recovery puts the rows it cannot give to a table of the schema.
constexpr const char* kLostRows = "velumbra_righe_perse";
// The ending of the hidden file in which a damaged file is rebuilt, beside it.
constexpr std::string_view kRepairEnding = ".in-riparazione";
// How many virtual machine steps of SQLite run between two calls of the caller's keepResponsive.
constexpr int kStepsBetweenTicks = 20000;

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
    Ticking(const Ticking&) = delete;
    Ticking& operator=(const Ticking&) = delete;

  private:
    static int Tick(void* keepResponsive) {
        (*static_cast<std::function<void()>*>(keepResponsive))();
        return 0;
    }
    sqlite3* db_;
};

Status ExecOn(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db, rc);
}

Status NotFound(std::string_view path) {
    return Status::Error(Describe("Impossibile trovare il file '", Quote(path), "'."));
}

Status NotCensus(std::string_view path) {
    return Status::Error(Describe("Il file '", Quote(path), "' non è un database del censimento."));
}

Status InUse(std::string_view path) {
    return Status::Error(Describe("Il database '", Quote(path),
                                  "' è in uso in un altro programma: occorre chiuderlo prima di ripararlo."));
}

Status SchemaLost(std::string_view path) {
    return Status::Error(Describe("Il database '", Quote(path),
                                  "' è danneggiato nella descrizione delle sue tabelle: non è possibile "
                                  "ricostruirlo."));
}

bool IsDamage(int rc) {
    return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
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

// The hidden file in which `original` is rebuilt.
std::filesystem::path RepairName(const std::filesystem::path& original) {
    return original.parent_path() / ("." + original.filename().string() + std::string(kRepairEnding));
}

void RemoveWithCompanions(const std::filesystem::path& file) {
    std::error_code ec;
    for (const char* suffix : {"-journal", "-wal", "-shm", ""}) {
        std::filesystem::remove(file.string() + suffix, ec);
    }
}

// Removes what repairs killed before they finished left in `folder`: a file being rebuilt is locked
// by its repair for as long as that runs, so one that nobody holds is abandoned.
void RemoveAbandonedRepairs(const std::filesystem::path& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> abandoned;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > kRepairEnding.size() + 1 && name[0] == '.' && name.ends_with(kRepairEnding)) {
            Handle h;
            if (OpenAlone(it->path().string(), false, h) == SQLITE_OK) {
                abandoned.push_back(it->path());
            }
        }
    }
    for (const auto& file : abandoned) {
        RemoveWithCompanions(file);
    }
}

// The answer of a one-value query, or `fallback`.
std::int64_t QueryInt(sqlite3* db, const std::string& sql, std::int64_t fallback = 0) {
    Stmt q(db, sql);
    return q.prepared() && q.Step() == SQLITE_ROW ? q.ColumnInt(0) : fallback;
}

bool TableExists(sqlite3* db, const std::string& name) {
    return QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = " +
                            QuoteLiteral(name)) > 0;
}

// The statements of SQLite's recovery, run on the file being rebuilt. The census mark and version are
// left out: the file gets them only when it is complete.
struct RecoverySink {
    sqlite3* out = nullptr;
    const std::function<void()>* keepResponsive = nullptr;
    int statements = 0;
    Status failure = Status::Ok();

    static int Run(void* self, const char* sql) { return static_cast<RecoverySink*>(self)->Execute(sql); }

    int Execute(const char* sql) {
        const std::string_view text(sql);
        if (text.starts_with("PRAGMA application_id") || text.starts_with("PRAGMA user_version")) {
            return 0;
        }
        if (*keepResponsive && ++statements % 256 == 0) {
            (*keepResponsive)();
        }
        const int rc = sqlite3_exec(out, sql, nullptr, nullptr, nullptr);
        switch (rc & 0xFF) {
            case SQLITE_FULL:
            case SQLITE_IOERR:
            case SQLITE_NOMEM:
            case SQLITE_CANTOPEN:
            case SQLITE_READONLY:
                failure = Failure(out, rc);
                return 1;
            default:
                // A row that breaks a rule of its table, or a piece of the schema that does not
                // read as SQL, is left out; the rest goes on.
                return 0;
        }
    }
};

// Gives the rows SQLite's recovery could not place to the tables they came from. Their b-tree is
// known when the root page is named by a piece of the schema that was itself found among the lost
// rows (the first page, which points to the schema, was damaged): such tables are created here.
// Otherwise a row goes to the one table with as many columns as the row has fields. The relations'
// triggers are set aside meanwhile, so that a row whose referenced row was lost is still kept.
void PlaceLostRows(sqlite3* out) {
    if (!TableExists(out, kLostRows)) {
        return;
    }
    const std::string lost = QuoteIdentifier(kLostRows);
    const std::int64_t fields =
        QueryInt(out, "SELECT count(*) - 4 FROM pragma_table_info(" + QuoteLiteral(kLostRows) + ")");
    constexpr const char* kSchemaRow =
        "nfield = 5 AND c0 IN ('table', 'index', 'trigger') AND typeof(c4) = 'text' AND c4 LIKE 'CREATE %'";

    std::map<std::int64_t, std::string> roots;  // root page -> table created from a lost schema row
    std::vector<std::string> later;             // indexes and triggers of those tables
    if (fields >= 5) {
        Stmt schema(out, "SELECT c0, c1, c2, c3, c4 FROM " + lost + " WHERE " + kSchemaRow +
                             " ORDER BY c0 = 'table' DESC, c0 = 'index' DESC, id");
        std::vector<std::string> createdTables;
        while (schema.prepared() && schema.Step() == SQLITE_ROW) {
            const std::string type = schema.ColumnText(0), name = schema.ColumnText(1),
                              table = schema.ColumnText(2);
            const std::string sql = schema.ColumnText(4);
            if (name.starts_with("sqlite_")) {
                continue;
            }
            if (type == "table") {
                if (!TableExists(out, name) &&
                    sqlite3_exec(out, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
                    TableExists(out, name)) {
                    roots[schema.ColumnInt(3)] = name;
                    createdTables.push_back(name);
                }
            } else if (std::find(createdTables.begin(), createdTables.end(), table) != createdTables.end()) {
                if (type == "index" && sql.find("UNIQUE") != std::string::npos) {
                    sqlite3_exec(out, sql.c_str(), nullptr, nullptr, nullptr);
                } else {
                    later.push_back(sql);
                }
            }
        }
    }

    // The triggers of the file, set aside until the rows are in.
    {
        Stmt triggers(out, "SELECT name, sql FROM sqlite_master WHERE type = 'trigger'");
        std::vector<std::string> names;
        while (triggers.prepared() && triggers.Step() == SQLITE_ROW) {
            names.push_back(triggers.ColumnText(0));
            later.push_back(triggers.ColumnText(1));
        }
        triggers = Stmt();
        for (const std::string& name : names) {
            sqlite3_exec(out, ("DROP TRIGGER " + QuoteIdentifier(name)).c_str(), nullptr, nullptr, nullptr);
        }
    }

    // Tables by their number of columns; 0 where two tables have the same number.
    std::map<std::int64_t, std::string> byColumns;
    std::map<std::string, std::int64_t> columnsOf;
    {
        Stmt tables(out,
                    "SELECT m.name, (SELECT count(*) FROM pragma_table_info(m.name)) FROM sqlite_master AS m "
                    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND m.name <> " +
                        QuoteLiteral(kLostRows));
        while (tables.prepared() && tables.Step() == SQLITE_ROW) {
            const std::string name = tables.ColumnText(0);
            const std::int64_t columns = tables.ColumnInt(1);
            columnsOf[name] = columns;
            auto [it, added] = byColumns.emplace(columns, name);
            if (!added) {
                it->second.clear();
            }
        }
    }

    std::map<std::pair<std::string, std::int64_t>, Stmt> inserts;
    Stmt rows(out, "SELECT rootpgno, nfield, id, * FROM " + lost + " WHERE id IS NOT NULL" +
                       (fields >= 5 ? std::string(" AND NOT (") + kSchemaRow + ")" : std::string()));
    while (rows.prepared() && rows.Step() == SQLITE_ROW) {
        const auto root = roots.find(rows.ColumnInt(0));
        const std::int64_t nfield = rows.ColumnInt(1);
        std::string table;
        if (root != roots.end()) {
            table = root->second;
        } else if (const auto same = byColumns.find(nfield); same != byColumns.end()) {
            table = same->second;
        }
        if (table.empty()) {
            continue;
        }
        const std::int64_t count = std::min({nfield, columnsOf[table], fields});
        auto& insert = inserts[{table, count}];
        if (!insert.prepared()) {
            // A column that names the row identifier is stored as NULL in the record: it takes the
            // identifier.
            std::string names = "rowid", values = "?1";
            Stmt info(out,
                      "SELECT name, pk = 1 AND upper(type) = 'INTEGER' AND (SELECT count(*) FROM "
                      "pragma_table_info(?1) WHERE pk > 0) = 1 FROM pragma_table_info(?1) ORDER BY cid");
            info.BindText(1, table);
            for (std::int64_t c = 0; c < count && info.Step() == SQLITE_ROW; ++c) {
                names += ", " + QuoteIdentifier(info.ColumnText(0));
                const std::string value = "?" + std::to_string(c + 2);
                values += info.ColumnInt(1) ? ", coalesce(" + value + ", ?1)" : ", " + value;
            }
            insert = Stmt(out, "INSERT OR IGNORE INTO " + QuoteIdentifier(table) + " (" + names +
                                   ") VALUES (" + values + ")");
            if (!insert.prepared()) {
                continue;
            }
        }
        insert.Reset();
        sqlite3_bind_value(insert.get(), 1, sqlite3_column_value(rows.get(), 2));
        for (std::int64_t c = 0; c < count; ++c) {
            // Columns of the lost rows: the three chosen, then rootpgno, pgno, nfield, id, c0...
            sqlite3_bind_value(insert.get(), static_cast<int>(c + 2),
                               sqlite3_column_value(rows.get(), static_cast<int>(c + 7)));
        }
        insert.Step();
    }
    rows = Stmt();
    inserts.clear();
    for (const std::string& sql : later) {
        sqlite3_exec(out, sql.c_str(), nullptr, nullptr, nullptr);
    }
    // Whatever could not be placed stays in the damaged original, which is kept.
    sqlite3_exec(out, ("DROP TABLE " + lost).c_str(), nullptr, nullptr, nullptr);
}

// Rebuilds at `target` (held alone, empty) whatever SQLite's recovery reads of `from`, then marks
// the file as a census and flushes it. `headerRead` tells whether the damaged file's header could be
// read: when it could not and no census comes out, the file was no census to begin with.
Status Rebuild(sqlite3* from, sqlite3* out, std::string_view path, bool headerRead,
               const std::function<void()>& keepResponsive) {
    Status s = ExecOn(out, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    if (!s) {
        return s;
    }
    const int registered = detail::RegisterDbPage(from);
    if (registered != SQLITE_OK) {
        return Failure(from, registered);
    }
    std::optional<detail::FormatBytesGuard> guard;
    if (!headerRead) {
        guard.emplace(from);
        sqlite3_file_control(from, "main", SQLITE_FCNTL_RESET_CACHE, nullptr);
    }
    RecoverySink sink{.out = out, .keepResponsive = &keepResponsive};
    sqlite3_recover* recover = sqlite3_recover_init_sql(from, "main", &RecoverySink::Run, &sink);
    if (!recover) {
        return Status::Error(It("Memoria insufficiente."));
    }
    sqlite3_recover_config(recover, SQLITE_RECOVER_LOST_AND_FOUND, const_cast<char*>(kLostRows));
    while (sqlite3_recover_step(recover) == SQLITE_OK) {
        if (keepResponsive) {
            keepResponsive();
        }
    }
    const std::string message = sqlite3_recover_errmsg(recover) ? sqlite3_recover_errmsg(recover) : "";
    const int rc = sqlite3_recover_finish(recover);
    guard.reset();
    if (!sink.failure) {
        return sink.failure;
    }
    if (sqlite3_get_autocommit(out) == 0) {
        sqlite3_exec(out, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK && !IsDamage(rc)) {
        return (rc & 0xFF) == SQLITE_NOMEM
                   ? Status::Error(It("Memoria insufficiente."))
                   : Status::Error(Describe(
                         "Errore del motore di database: ", Quote(text::Utf8ToCp1252Lossy(message)), "."));
    }
    if (rc != SQLITE_OK && !headerRead) {
        return NotCensus(path);
    }
    // Something that reads as a database came out, though perhaps no table of it.
    const bool anything = TableExists(out, kLostRows) ||
                          QueryInt(out, "SELECT count(*) FROM sqlite_master WHERE type = 'table'") > 0;
    s = ExecOn(out, "BEGIN");
    if (s) {
        PlaceLostRows(out);
        s = ExecOn(out, "COMMIT");
    }
    if (s && !detail::CheckCensusTables(out, path)) {
        return headerRead || anything ? SchemaLost(path) : NotCensus(path);
    }
    if (s) {
        s = ExecOn(out,
                   "PRAGMA synchronous = FULL; PRAGMA application_id = " + std::to_string(kApplicationId) +
                       "; PRAGMA user_version = 1; PRAGMA journal_mode = WAL");
    }
    return s;
}

// Opens an existing census database file for copying.
Status OpenCensusFile(std::string_view path, Handle& h) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(FsPath(path), ec)) {
        return NotFound(path);
    }
    const int rc = sqlite3_open_v2(Utf8(path).c_str(), &h.db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        return Failure(h.db, rc);
    }
    sqlite3_busy_timeout(h.db, 5000);
    Stmt id(h.db, "PRAGMA application_id");
    const int step = id.prepared() ? id.Step() : sqlite3_errcode(h.db);
    if (step != SQLITE_ROW || id.ColumnInt(0) != kApplicationId) {
        if (step == SQLITE_ROW || (step & 0xFF) == SQLITE_NOTADB) {
            return NotCensus(path);
        }
        return Failure(h.db, step);
    }
    return detail::CheckCensusTables(h.db, path);
}

std::string UniqueName(const std::filesystem::path& dir, const std::string& stem, const std::string& ext) {
    std::error_code ec;
    for (int n = 1;; ++n) {
        std::string name = stem;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        name += ext;
        if (!std::filesystem::exists(dir / name, ec)) {
            return name;
        }
    }
}

}  // namespace

Status Database::Repair(std::string_view path, std::string* damagedCopy,
                        const std::function<void()>& keepResponsive) {
    if (IsOpenInProgram(path)) {
        return Status::Error(
            Describe("Il database '", Quote(path),
                     "' è aperto in questo programma: occorre sconnetterlo prima di ripararlo."));
    }
    std::error_code ec;
    const std::filesystem::path original = FsPath(path);
    if (path.empty() || !std::filesystem::is_regular_file(original, ec)) {
        return NotFound(path);
    }
    const std::filesystem::path dir = original.parent_path();
    RemoveAbandonedRepairs(dir);

    // The file is held alone from here until the rebuilt file has taken its name.
    Handle h;
    int rc = OpenAlone(original.string(), false, h);
    if (rc != SQLITE_OK) {
        return (rc & 0xFF) == SQLITE_BUSY ? InUse(path) : Failure(h.db, rc);
    }
    const Ticking ticking(h.db, keepResponsive);
    Stmt id(h.db, "PRAGMA application_id");
    rc = id.prepared() ? id.Step() : sqlite3_errcode(h.db);
    const bool headerRead = rc == SQLITE_ROW;
    if (headerRead && id.ColumnInt(0) != kApplicationId) {
        return NotCensus(path);
    }
    id = Stmt();
    if (!headerRead && !IsDamage(rc)) {
        return Failure(h.db, rc);
    }
    bool sound = false;
    if (headerRead) {
        Status census = detail::CheckCensusTables(h.db, path);
        rc = sqlite3_errcode(h.db);
        if (!census && !IsDamage(rc)) {
            return census;
        }
        if (census) {
            Stmt check(h.db, "PRAGMA integrity_check(1)");
            rc = check.prepared() ? check.Step() : check.rc();
            sound = rc == SQLITE_ROW && check.ColumnText(0) == "ok";
            if (rc != SQLITE_ROW && !IsDamage(rc)) {
                return Failure(h.db, rc);  // unreadable, out of memory: nothing to rebuild from
            }
        }
    }
    if (sound) {
        return ExecOn(h.db, "REINDEX; VACUUM");
    }
    if (headerRead) {
        // The raw pages are read from the file itself: what the log holds goes into it first.
        sqlite3_exec(h.db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }

    const std::filesystem::path rebuilt = RepairName(original);
    RemoveWithCompanions(rebuilt);  // nobody holds it: the original's lock is ours
    Status s;
    {
        Handle out;
        rc = OpenAlone(rebuilt.string(), true, out);
        if (rc != SQLITE_OK) {
            s = Failure(out.db, rc);
        } else {
            const Ticking writing(out.db, keepResponsive);
            s = Rebuild(h.db, out.db, path, headerRead, keepResponsive);
        }
        if (s) {
            rc = sqlite3_close(out.db);
            out.db = nullptr;
            if (rc != SQLITE_OK || !files::SyncFile(rebuilt)) {
                s = Status::Error(Describe("Errore di scrittura sul disco del file '", Quote(path), "'."));
            }
        }
    }
    if (!s) {
        RemoveWithCompanions(rebuilt);
        return s;
    }
    // The damaged original is kept beside the rebuilt file, which takes its name.
    const std::string stem = original.stem().string();
    const std::string ext = original.extension().string();
    const std::filesystem::path damaged = dir / UniqueName(dir, stem + ".danneggiato", ext);
    if (!files::RenameNoReplace(original, damaged)) {
        RemoveWithCompanions(rebuilt);
        return Status::Error(Describe("Impossibile rinominare il file danneggiato '", Quote(path), "'."));
    }
    // A log that still holds pages (its first page was unreadable, so it was never copied in) goes
    // with the original; an empty one and the log's index are dropped.
    const std::filesystem::path log = original.string() + "-wal";
    if (std::filesystem::file_size(log, ec) > 0 && !ec) {
        std::filesystem::rename(log, damaged.string() + "-wal", ec);
    } else {
        std::filesystem::remove(log, ec);
    }
    std::filesystem::remove(original.string() + "-shm", ec);
    if (!files::RenameNoReplace(rebuilt, original)) {
        RemoveWithCompanions(rebuilt);
        std::filesystem::rename(damaged, original, ec);
        return Status::Error(
            Describe("Impossibile sostituire il file '", Quote(path), "' con quello ricostruito."));
    }
    (void)files::SyncFolder(dir);  // the file itself is on the disk already; only its name is at stake
    if (damagedCopy) {
        *damagedCopy = text::Utf8ToCp1252Lossy(damaged.string());
    }
    return Status::Ok();
}

Status Database::Compact(std::string_view source, std::string_view destination, std::string_view locale,
                         const std::function<void()>& keepResponsive) {
    if (!IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    std::error_code ec;
    const std::filesystem::path target = FsPath(destination);
    if (destination.empty()) {
        return Status::Error(It("Il nome del file di destinazione è vuoto."));
    }
    if (std::filesystem::exists(target, ec)) {
        return Status::Error(Describe("Il file '", Quote(destination), "' esiste già."));
    }
    Handle h;
    Status s = OpenCensusFile(source, h);
    if (!s) {
        return s;
    }
    const Ticking ticking(h.db, keepResponsive);
    // The copy is made under a temporary name and takes its own only when complete.
    const std::filesystem::path temporary =
        target.parent_path() / UniqueName(target.parent_path(), target.filename().string() + ".copia", "");
    s = ExecOn(h.db, "VACUUM INTO " + QuoteLiteral(temporary.string()));
    if (s && std::filesystem::exists(target, ec)) {
        s = Status::Error(Describe("Il file '", Quote(destination), "' esiste già."));
    }
    if (s) {
        std::filesystem::rename(temporary, target, ec);
        if (ec) {
            s = Status::Error(Describe("Impossibile creare il file '", Quote(destination), "'."));
        }
    }
    if (!s) {
        std::filesystem::remove(temporary, ec);
    }
    return s;
}

}  // namespace engine
