// Repair and compaction of database files.
#include <sqlite3recover.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/Attributes.h"
#include "engine/Database.h"
#include "engine/DbPage.h"
#include "engine/FileSystem.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"

extern "C" int sqlite3_dbdata_init(sqlite3* db, char** error, const sqlite3_api_routines* api);

namespace engine {

using detail::Failure;
using detail::FsPath;
using detail::IsSupportedLocale;
using detail::Stmt;
using detail::Utf8;

namespace {

// The table in which SQLite's recovery puts the rows it cannot give to a table of the schema.
constexpr const char* kLostRows = "velumbra_righe_perse";
// The endings of the hidden files a repair works on, beside the damaged file: the file in which it
// is rebuilt, and the blank census it is rebuilt into when the description of its tables is lost
// (itself built under files::BuildingName).
constexpr std::string_view kRepairEnding = ".in-riparazione";
constexpr std::string_view kBlankEnding = ".in-riparazione-vuoto";
// The companions SQLite may give a database file.
constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};
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

// A failure of the disk or of memory, as opposed to a row or a statement that does not fit.
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
    return original.parent_path() /
           files::PathOfUtf8("." + files::Utf8Of(original.filename()) + std::string(kRepairEnding));
}

// The hidden blank census into which `original` is rebuilt when its description of its tables is
// lost. No file's RepairName ends like it.
std::filesystem::path BlankName(const std::filesystem::path& original) {
    return original.parent_path() /
           files::PathOfUtf8("." + files::Utf8Of(original.filename()) + std::string(kBlankEnding));
}

void RemoveWithCompanions(const std::filesystem::path& file) {
    std::error_code ec;
    for (const char* suffix : kCompanions) {
        std::filesystem::remove(files::WithSuffix(file, suffix), ec);
    }
    std::filesystem::remove(file, ec);
}

// A file a repair works on: hidden, with one of the repair's endings.
bool IsRepairFile(const std::string& name) {
    return name.size() > kBlankEnding.size() + 1 && name[0] == '.' &&
           (name.ends_with(kRepairEnding) || name.ends_with(kBlankEnding));
}

}  // namespace

// A file being rebuilt and a blank census are locked by their repair for as long as that runs, so one
// that nobody holds is abandoned; a blank census being built is a file being written like any other.
void detail::RemoveAbandonedFiles(const std::filesystem::path& folder) {
    files::RemoveAbandonedBuilds(folder);
    std::error_code ec;
    std::vector<std::filesystem::path> abandoned;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = files::Utf8Of(it->path().filename());
        if (IsRepairFile(name)) {
            Handle h;
            if (OpenAlone(files::Utf8Of(it->path()), false, h) == SQLITE_OK) {
                abandoned.push_back(it->path());
            }
        }
    }
    for (const auto& file : abandoned) {
        RemoveWithCompanions(file);
    }
}

namespace {

// Removes, when it goes and unless told to keep them, the companions of a file (its journal, its
// log, the log's index) that were not there when it came: those SQLite made while the file was only
// read.
class NewCompanions {
  public:
    explicit NewCompanions(const std::filesystem::path& file) : file_(file) {
        std::error_code ec;
        for (std::size_t i = 0; i < std::size(kCompanions); ++i) {
            existed_[i] = std::filesystem::exists(files::WithSuffix(file_, kCompanions[i]), ec) || ec;
        }
    }
    ~NewCompanions() {
        std::error_code ec;
        for (std::size_t i = 0; i < std::size(kCompanions) && !keep; ++i) {
            if (!existed_[i]) {
                std::filesystem::remove(files::WithSuffix(file_, kCompanions[i]), ec);
            }
        }
    }
    NewCompanions(const NewCompanions&) = delete;
    NewCompanions& operator=(const NewCompanions&) = delete;
    bool keep = false;

  private:
    std::filesystem::path file_;
    bool existed_[std::size(kCompanions)] = {};
};

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
        // A statement made from a damaged piece of the schema may come without any text.
        if (!sql) {
            return 0;
        }
        const std::string_view text(sql);
        if (text.starts_with("PRAGMA application_id") || text.starts_with("PRAGMA user_version")) {
            return 0;
        }
        if (*keepResponsive && ++statements % 256 == 0) {
            (*keepResponsive)();
        }
        const int rc = sqlite3_exec(out, sql, nullptr, nullptr, nullptr);
        if (IsFatal(rc)) {
            failure = Failure(out, rc);
            return 1;
        }
        // A row that breaks a rule of its table, or a piece of the schema that does not read as SQL,
        // is left out; the rest goes on.
        return 0;
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

// Recovers into `out` (held alone, empty) whatever SQLite's recovery reads of `from`: the tables that
// the file's description of its tables names, with their rows, and in kLostRows the rows it could not
// give to any of them. `headerRead` tells whether the damaged file's header could be read: when it
// could not and the recovery fails, the file was no database to begin with.
Status RecoverInto(sqlite3* from, sqlite3* out, std::string_view path, bool headerRead,
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
        return Status::Error(text::Utf8ToCp1252Lossy("Memoria insufficiente."));
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
                   ? Status::Error(text::Utf8ToCp1252Lossy("Memoria insufficiente."))
                   : Status::Error(Describe(
                         "Errore del motore di database: ", Quote(text::Utf8ToCp1252Lossy(message)), "."));
    }
    if (rc != SQLITE_OK && !headerRead) {
        return NotCensus(path);
    }
    return Status::Ok();
}

// Runs the caller's finishing statements (Windows-1252, text constants between double quotes) on a
// rebuilt file, inside its transaction. What they cannot do is left as it was read, unless the disk
// or the memory failed.
Status RunFinish(sqlite3* db, const std::string& finish) {
    if (finish.empty()) {
        return Status::Ok();
    }
    const int rc = sqlite3_exec(db, Utf8(TranslateSql(finish)).c_str(), nullptr, nullptr, nullptr);
    return IsFatal(rc) ? Failure(db, rc) : Status::Ok();
}

// Marks a rebuilt file as a census with its log in WAL mode; from here on what it writes is flushed.
Status Seal(sqlite3* db) {
    return ExecOn(db, "PRAGMA synchronous = FULL; PRAGMA application_id = " + std::to_string(kApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(kLayoutVersion) +
                          "; PRAGMA journal_mode = WAL");
}

// Finishes a file rebuilt under its own description of its tables: the lost rows go to their tables,
// and it must hold every census table.
Status Settle(sqlite3* out, std::string_view path, bool headerRead, const std::string& finish) {
    // Something that reads as a database came out, though perhaps no table of it.
    const bool anything = TableExists(out, kLostRows) ||
                          QueryInt(out, "SELECT count(*) FROM sqlite_master WHERE type = 'table'") > 0;
    Status s = ExecOn(out, "BEGIN");
    if (s) {
        PlaceLostRows(out);
        s = RunFinish(out, finish);
    }
    if (s) {
        s = ExecOn(out, "COMMIT");
    }
    if (s && !detail::CheckCensusTables(out, path)) {
        return headerRead || anything ? SchemaLost(path) : NotCensus(path);
    }
    return s ? Seal(out) : s;
}

// True when `out` holds every table, index and trigger of `blank`, described alike, and the attributes
// that the blank records of them: the damaged file's own description of its tables was read back whole.
bool HoldsSchemaOf(sqlite3* out, sqlite3* blank) {
    Stmt objects(blank,
                 "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                 "'sqlite\\_%' ESCAPE '\\'");
    Stmt found(out, "SELECT count(*) FROM sqlite_master WHERE type = ?1 AND name = ?2 AND sql = ?3");
    if (!objects.prepared() || !found.prepared()) {
        return false;
    }
    while (objects.Step() == SQLITE_ROW) {
        found.Reset();
        for (int i = 0; i < 3; ++i) {
            sqlite3_bind_value(found.get(), i + 1, sqlite3_column_value(objects.get(), i));
        }
        if (found.Step() != SQLITE_ROW || found.ColumnInt(0) == 0) {
            return false;
        }
    }
    // The attributes of the fields and indexes kept in the engine's own table belong to it too.
    return objects.rc() == SQLITE_DONE && detail::HoldsAttributesOf(out, blank);
}

// A column of a table of the blank census, and the values it can hold as SQLite stores them under the
// affinity of its declared type.
struct Column {
    enum class Holds { Numbers, NumbersOrText, Text, Anything };
    std::string name;
    Holds holds = Holds::Anything;
    bool nullable = true;
    bool rowid = false;  // names the row identifier: its value is stored as NULL in the record

    bool Fits(int type) const {
        switch (type) {
            case SQLITE_NULL:
                return nullable || rowid;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                return holds != Holds::Text;
            case SQLITE_TEXT:
                return holds != Holds::Numbers;
            default:
                return holds == Holds::Anything;
        }
    }
};

// SQLite's rules for the affinity of a declared type.
Column::Holds HoldsOf(std::string declared) {
    std::transform(declared.begin(), declared.end(), declared.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
    if (has("INT")) {
        return Column::Holds::Numbers;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return Column::Holds::Text;
    }
    if (has("BLOB") || declared.empty()) {
        return Column::Holds::Anything;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return Column::Holds::Numbers;
    }
    return Column::Holds::NumbersOrText;
}

// A table of the blank census. The tables to fill receive recovered rows; a recovered row that fits
// another table is one of the rows the blank holds already.
struct BlankTable {
    std::string name;  // UTF-8
    std::vector<Column> columns;
    bool fill = false;
    std::map<std::vector<std::size_t>, Stmt> inserts;  // by the columns given

    bool Fits(const std::vector<sqlite3_value*>& values) const {
        if (values.size() != columns.size()) {
            return false;
        }
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (!columns[c].Fits(sqlite3_value_type(values[c]))) {
                return false;
            }
        }
        return true;
    }
};

std::vector<BlankTable> TablesOf(sqlite3* blank, const std::vector<std::string>& fill) {
    std::vector<BlankTable> tables;
    Stmt names(blank,
               "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE "
               "'\\' ORDER BY name");
    while (names.prepared() && names.Step() == SQLITE_ROW) {
        BlankTable table{.name = names.ColumnText(0)};
        table.fill = std::any_of(fill.begin(), fill.end(),
                                 [&](const std::string& name) { return Utf8(name) == table.name; });
        Stmt info(blank,
                  "SELECT name, type, \"notnull\", pk = 1 AND upper(type) = 'INTEGER' AND (SELECT count(*) "
                  "FROM pragma_table_info(?1) WHERE pk > 0) = 1 FROM pragma_table_info(?1) ORDER BY cid");
        info.BindText(1, table.name);
        while (info.prepared() && info.Step() == SQLITE_ROW) {
            table.columns.push_back({.name = info.ColumnText(0),
                                     .holds = HoldsOf(info.ColumnText(1)),
                                     .nullable = info.ColumnInt(2) == 0,
                                     .rowid = info.ColumnInt(3) != 0});
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

// Puts recovered rows into the tables of the blank census, keeping the row identifiers they had.
class Placer {
  public:
    Placer(sqlite3* blank, const std::function<void()>& keepResponsive)
        : blank_(blank), keepResponsive_(keepResponsive) {}

    // Stores `rowid` and `values` as the given columns of `table`; a row that breaks a rule of the
    // table or takes a key already taken is left out.
    void Place(BlankTable& table, const std::vector<std::size_t>& columns, sqlite3_value* rowid,
               const std::vector<sqlite3_value*>& values) {
        Stmt& insert = table.inserts[columns];
        if (!insert.prepared()) {
            std::string names = "rowid", values = "?1";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const Column& column = table.columns[columns[c]];
                names += ", " + QuoteIdentifier(column.name);
                const std::string value = "?" + std::to_string(c + 2);
                values += column.rowid ? ", coalesce(" + value + ", ?1)" : ", " + value;
            }
            insert = Stmt(blank_, "INSERT OR IGNORE INTO main." + QuoteIdentifier(table.name) + " (" + names +
                                      ") VALUES (" + values + ")");
            if (!insert.prepared()) {
                return;
            }
        }
        insert.Reset();
        sqlite3_bind_value(insert.get(), 1, rowid);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            sqlite3_bind_value(insert.get(), static_cast<int>(c + 2), values[c]);
        }
        const int rc = insert.Step();
        if (rc == SQLITE_DONE) {
            placed += sqlite3_changes(blank_) > 0 ? 1 : 0;
        } else if (IsFatal(rc) && failure) {
            failure = Failure(blank_, rc);
        }
        if (keepResponsive_ && ++rows_ % 256 == 0) {
            keepResponsive_();
        }
    }

    std::int64_t placed = 0;
    Status failure = Status::Ok();

  private:
    sqlite3* blank_;
    const std::function<void()>& keepResponsive_;
    std::int64_t rows_ = 0;
};

// The values of `count` columns of `row` from column `first` on.
std::vector<sqlite3_value*> ValuesOf(sqlite3_stmt* row, int first, std::size_t count) {
    std::vector<sqlite3_value*> values(count);
    for (std::size_t c = 0; c < count; ++c) {
        values[c] = sqlite3_column_value(row, first + static_cast<int>(c));
    }
    return values;
}

// Reads the b-trees of a damaged file straight off its pages, decoded by SQLite's own page readers
// (sqlite_dbdata, sqlite_dbptr) on a connection of their own. Of the file's description of its tables
// it needs only the names and root pages its rows still give, also where the statement that creates a
// table no longer reads as SQL. While it lives, `from` reads its description of its tables without
// stopping at what does not read.
class PageReader {
  public:
    explicit PageReader(sqlite3* from) : from_(from) {
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, -1, &writable_);
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, 1, nullptr);
        read_ = Stmt(from_, "SELECT data FROM sqlite_dbpage WHERE pgno = ?1");
        if (!read_.prepared() ||
            sqlite3_open_v2(":memory:", &pages_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_dbdata_init(pages_, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_create_function(pages_, "getpage", 1, SQLITE_UTF8, this, &PageReader::GetPage, nullptr,
                                    nullptr) != SQLITE_OK) {
            sqlite3_close(pages_);
            pages_ = nullptr;
        }
    }
    ~PageReader() {
        sqlite3_close(pages_);
        read_ = Stmt();
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, writable_, nullptr);
    }
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    bool Usable() const { return pages_ != nullptr; }

    // The root page of the table named `name` (UTF-8) in the rows of the description of the tables
    // (type, name, table, root page, statement), by its name or its table's; 0 when none is found.
    std::int64_t RootOf(const std::string& name) {
        std::int64_t root = 0;
        ForEachRow(1, [&](sqlite3_value*, const std::vector<sqlite3_value*>& values) {
            const auto text = [&](std::size_t i) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(values[i]));
                return std::string(t ? t : "");
            };
            if (values.size() >= 4 && text(0) == "table" && (text(1) == name || text(2) == name) &&
                sqlite3_value_type(values[3]) == SQLITE_INTEGER && sqlite3_value_int64(values[3]) > 1) {
                root = sqlite3_value_int64(values[3]);
            }
            return root == 0;
        });
        return root;
    }

    // Calls `row` with the key and the values of every row on the leaves of the b-tree at `root`, while
    // it answers true. Each page is read once, so pointers that a damage turned into a loop end.
    void ForEachRow(
        std::int64_t root,
        const std::function<bool(sqlite3_value* key, const std::vector<sqlite3_value*>& values)>& row) {
        if (!pages_ || root <= 0) {
            return;
        }
        Stmt tree(
            pages_,
            "WITH RECURSIVE tree(p) AS (SELECT ?1 UNION SELECT d.child FROM sqlite_dbptr('getpage()') AS d, "
            "tree WHERE d.pgno = tree.p) SELECT p FROM tree");
        Stmt cells(pages_, "SELECT cell, field, value FROM sqlite_dbdata('getpage()') WHERE pgno = ?1");
        if (!tree.prepared() || !cells.prepared()) {
            return;
        }
        tree.BindInt(1, root);
        std::vector<sqlite3_value*> values;
        sqlite3_value* key = nullptr;
        const auto release = [&] {
            sqlite3_value_free(key);
            key = nullptr;
            for (sqlite3_value* value : values) {
                sqlite3_value_free(value);
            }
            values.clear();
        };
        bool more = true;
        while (more && tree.Step() == SQLITE_ROW) {
            cells.Reset();
            cells.BindInt(1, tree.ColumnInt(0));
            std::int64_t cell = -1;
            // Only the cells of a table's leaves have a key; those of its inner pages and of indexes give
            // none.
            const auto give = [&] {
                more = !key || row(key, values);
                release();
            };
            while (more && cells.Step() == SQLITE_ROW) {
                if (cells.ColumnInt(0) != cell) {
                    give();
                    cell = cells.ColumnInt(0);
                }
                sqlite3_value* value = sqlite3_value_dup(sqlite3_column_value(cells.get(), 2));
                if (cells.ColumnInt(1) < 0) {
                    sqlite3_value_free(key);
                    key = value;
                } else if (static_cast<std::size_t>(cells.ColumnInt(1)) == values.size()) {
                    values.push_back(value);
                } else {
                    sqlite3_value_free(value);
                }
            }
            if (more) {
                give();
            }
        }
        release();
    }

  private:
    // getpage(N): page N of the damaged file, or with N = 0 the number of its pages.
    static void GetPage(sqlite3_context* context, int, sqlite3_value** arguments) {
        auto* self = static_cast<PageReader*>(sqlite3_user_data(context));
        const std::int64_t pgno = sqlite3_value_int64(arguments[0]);
        if (pgno == 0) {
            sqlite3_result_int64(context, QueryInt(self->from_, "SELECT count(*) FROM sqlite_dbpage"));
            return;
        }
        self->read_.Reset();
        self->read_.BindInt(1, pgno);
        if (self->read_.Step() == SQLITE_ROW) {
            sqlite3_result_value(context, sqlite3_column_value(self->read_.get(), 0));
        }
        self->read_.Reset();
    }

    sqlite3* from_;
    sqlite3* pages_ = nullptr;
    Stmt read_;
    int writable_ = 0;
};

// The name under which the blank's own rows of `table` are set aside while the recovered rows go in.
std::string AsideName(const BlankTable& table) {
    return "temp." + QuoteIdentifier("velumbra_vuoto_" + table.name);
}

// Rebuilds into `blank` (a blank census, held alone) the rows of the damaged file that `out` holds:
// those of the tables recovered under their own description, by the names of their columns, and the
// lost rows, each into the one table of the blank whose columns its values fit (or, when the part of
// the description that names its b-tree was itself among the lost rows, that table). Only the tables
// to fill receive rows; there the recovered rows take their keys first, and the blank's own rows keep
// the keys no recovered row took. A file whose header could not be read and of which no row was
// placed was no census.
Status Salvage(sqlite3* out, sqlite3* blank, PageReader& pages, const Database::BlankCensus& census,
               std::string_view path, bool headerRead, const std::function<void()>& keepResponsive) {
    Status s =
        ExecOn(blank, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA temp_store = MEMORY");
    if (s) {
        s = ExecOn(blank, "BEGIN");
    }
    std::vector<BlankTable> tables = TablesOf(blank, census.tables);
    for (const BlankTable& table : tables) {
        if (s && table.fill) {
            s = ExecOn(blank, "CREATE TABLE " + AsideName(table) + " AS SELECT * FROM main." +
                                  QuoteIdentifier(table.name) + "; DELETE FROM main." +
                                  QuoteIdentifier(table.name));
        }
    }
    if (!s) {
        return s;
    }
    Placer placer(blank, keepResponsive);

    // The tables recovered under their own description.
    for (BlankTable& table : tables) {
        if (!table.fill || !TableExists(out, table.name)) {
            continue;
        }
        std::vector<std::size_t> columns;
        std::string names = "rowid";
        Stmt info(out, "SELECT name FROM pragma_table_info(?1)");
        info.BindText(1, table.name);
        while (info.prepared() && info.Step() == SQLITE_ROW) {
            const std::string name = info.ColumnText(0);
            for (std::size_t c = 0; c < table.columns.size(); ++c) {
                if (sqlite3_stricmp(table.columns[c].name.c_str(), name.c_str()) == 0) {
                    columns.push_back(c);
                    names += ", " + QuoteIdentifier(name);
                }
            }
        }
        Stmt rows(out, "SELECT " + names + " FROM " + QuoteIdentifier(table.name));
        while (rows.prepared() && rows.Step() == SQLITE_ROW && placer.failure) {
            placer.Place(table, columns, sqlite3_column_value(rows.get(), 0),
                         ValuesOf(rows.get(), 1, columns.size()));
        }
    }

    // The rows on the pages of the tables to fill, by the position of their values: where the
    // statement that creates a table was damaged, they are not among those recovered above.
    if (pages.Usable()) {
        for (BlankTable& table : tables) {
            const std::int64_t root = table.fill ? pages.RootOf(table.name) : 0;
            std::vector<std::size_t> all(table.columns.size());
            for (std::size_t c = 0; c < all.size(); ++c) {
                all[c] = c;
            }
            pages.ForEachRow(root, [&](sqlite3_value* key, const std::vector<sqlite3_value*>& values) {
                if (table.Fits(values)) {
                    placer.Place(table, all, key, values);
                }
                return static_cast<bool>(placer.failure);
            });
        }
    }

    // The lost rows. Those of an index have no row identifier; the pieces of the description of the
    // tables tell the b-trees of the tables they name.
    if (TableExists(out, kLostRows)) {
        const std::string lost = QuoteIdentifier(kLostRows);
        const std::int64_t fields =
            QueryInt(out, "SELECT count(*) - 4 FROM pragma_table_info(" + QuoteLiteral(kLostRows) + ")");
        const std::string schemaRow =
            "nfield = 5 AND c0 IN ('table', 'index', 'trigger') AND typeof(c4) = 'text' AND c4 LIKE 'CREATE "
            "%'";
        std::map<std::int64_t, std::string> roots;  // root page -> table
        if (fields >= 5) {
            Stmt schema(out, "SELECT c3, c1 FROM " + lost + " WHERE " + schemaRow +
                                 " AND c0 = 'table' AND typeof(c3) = 'integer'");
            while (schema.prepared() && schema.Step() == SQLITE_ROW) {
                roots[schema.ColumnInt(0)] = schema.ColumnText(1);
            }
        }
        std::vector<std::size_t> all;
        Stmt rows(out, "SELECT rootpgno, nfield, id, * FROM " + lost + " WHERE id IS NOT NULL" +
                           (fields >= 5 ? " AND NOT (" + schemaRow + ")" : std::string()));
        while (rows.prepared() && rows.Step() == SQLITE_ROW && placer.failure) {
            // Columns: the three chosen, then rootpgno, pgno, nfield, id, c0...
            constexpr int kFirstValue = 7;
            const auto nfield =
                static_cast<std::size_t>(std::clamp<std::int64_t>(rows.ColumnInt(1), 0, fields));
            const auto root = roots.find(rows.ColumnInt(0));
            BlankTable* chosen = nullptr;
            int fitting = 0;
            for (BlankTable& table : tables) {
                if (table.Fits(ValuesOf(rows.get(), kFirstValue, nfield))) {
                    ++fitting;
                    if (!chosen || (root != roots.end() && root->second == table.name)) {
                        chosen = &table;
                    }
                }
            }
            const bool named = chosen && root != roots.end() && root->second == chosen->name;
            if (!chosen || !chosen->fill || (fitting > 1 && !named)) {
                continue;
            }
            all.resize(nfield);
            for (std::size_t c = 0; c < nfield; ++c) {
                all[c] = c;
            }
            placer.Place(*chosen, all, sqlite3_column_value(rows.get(), 2),
                         ValuesOf(rows.get(), kFirstValue, nfield));
        }
    }
    if (!placer.failure) {
        return placer.failure;
    }
    for (BlankTable& table : tables) {
        table.inserts.clear();
        if (s && table.fill) {
            std::string names;
            for (const Column& column : table.columns) {
                names += (names.empty() ? "" : ", ") + QuoteIdentifier(column.name);
            }
            s = ExecOn(blank, "INSERT OR IGNORE INTO main." + QuoteIdentifier(table.name) + " (" + names +
                                  ") SELECT " + names + " FROM " + AsideName(table) + "; DROP TABLE " +
                                  AsideName(table));
        }
    }
    if (s) {
        s = RunFinish(blank, census.finish);
    }
    if (s) {
        s = ExecOn(blank, "COMMIT");
    }
    if (s && !headerRead && placer.placed == 0) {
        return NotCensus(path);
    }
    return s ? Seal(blank) : s;
}

// The rows of a table that a plain read of a damaged file sees: it stops at the first that cannot be read.
struct SeenRows {
    std::string table;  // UTF-8
    std::int64_t rows = 0;
};

// What a plain read of `db` sees of the tables named `tables` (Windows-1252), or without names of every
// table its description of its tables still names.
std::vector<SeenRows> SeenByAPlainRead(sqlite3* db, const std::vector<std::string>& tables) {
    std::vector<SeenRows> seen;
    for (const std::string& name : tables) {
        seen.push_back({.table = Utf8(name)});
    }
    if (tables.empty()) {
        Stmt names(
            db,
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
        while (names.prepared() && names.Step() == SQLITE_ROW) {
            seen.push_back({.table = names.ColumnText(0)});
        }
    }
    // A cell that lies outside its page is damage, not a row: without the check SQLite reads on
    // from wherever it points.
    sqlite3_exec(db, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
    for (SeenRows& table : seen) {
        // The table's own pages, not an index that may hold rows that the table lost.
        Stmt rows(db, "SELECT rowid FROM main." + QuoteIdentifier(table.table) + " NOT INDEXED");
        while (rows.prepared() && rows.Step() == SQLITE_ROW) {
            ++table.rows;
        }
    }
    return seen;
}

// A rebuilt file that holds fewer rows of a table than a plain read of the damaged one saw lost what
// could still be read: the repair is not done.
Status HoldsWhatWasSeen(sqlite3* rebuilt, const std::vector<SeenRows>& seen, std::string_view path) {
    for (const SeenRows& table : seen) {
        const std::int64_t rows =
            table.rows > 0
                ? QueryInt(rebuilt, "SELECT count(*) FROM main." + QuoteIdentifier(table.table), -1)
                : 0;
        if (rows < table.rows) {
            return Status::Error(
                Describe("Il database '", Quote(path),
                         "' è danneggiato e non è stato possibile ricostruirlo con tutti i dati "
                         "ancora leggibili: il file è rimasto com'era."));
        }
    }
    return Status::Ok();
}

// Makes the blank census at `file` and holds it alone. Another repair in the same folder that looked
// for abandoned files between its making and the lock could remove it: the lock fails then, and so
// does this repair, leaving nothing behind.
Status OpenBlank(const Database::BlankCensus& census, const std::filesystem::path& file, Handle& blank) {
    Status s = census.make(text::Utf8ToCp1252Lossy(files::Utf8Of(file)));
    if (!s) {
        return s;
    }
    const int rc = OpenAlone(files::Utf8Of(file), false, blank);
    return rc == SQLITE_OK ? Status::Ok() : Failure(blank.db, rc);
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
        if (!std::filesystem::exists(dir / files::PathOfUtf8(name), ec)) {
            return name;
        }
    }
}

}  // namespace

Status Database::Repair(std::string_view path, std::string* damagedCopy,
                        const std::function<void()>& keepResponsive, const BlankCensus& blank) {
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
    detail::RemoveAbandonedFiles(dir);

    // Whatever SQLite makes beside the original while reading it goes again unless the original is
    // changed (compacted in place, or replaced by the rebuilt file, which sees to them itself).
    NewCompanions companions(original);
    // The file is held alone from here until the rebuilt file has taken its name.
    Handle h;
    int rc = OpenAlone(files::Utf8Of(original), false, h);
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_BUSY) {
            return InUse(path);
        }
        // A repair writes beside the file: where it cannot, it says so rather than blame the disk.
        return files::CanWriteIn(dir.empty() ? "." : dir) ? Failure(h.db, rc) : detail::Unwritable(path);
    }
    Ticking ticking(h.db, keepResponsive);
    Stmt id(h.db, "PRAGMA application_id");
    rc = id.prepared() ? id.Step() : sqlite3_errcode(h.db);
    const bool headerRead = rc == SQLITE_ROW;
    if (headerRead && id.ColumnInt(0) != kApplicationId) {
        return NotCensus(path);
    }
    id = Stmt();
    // A later version's census is never rewritten by this one, not even to compact it.
    if (headerRead && QueryInt(h.db, "PRAGMA user_version") > kLayoutVersion) {
        return detail::NewerLayout(path);
    }
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
    if (sound && blank.make) {
        // A file that reads whole may still hold a damaged description of its tables: a column whose
        // name changed reads as well as the right one. It must be the program's own.
        const std::filesystem::path probeFile = BlankName(original);
        RemoveWithCompanions(probeFile);  // nobody holds it: the original's lock is ours
        Handle probe;
        if (OpenBlank(blank, probeFile, probe)) {
            sound = HoldsSchemaOf(h.db, probe.db);
        }
        probe.Close();
        RemoveWithCompanions(probeFile);
    }
    if (sound) {
        companions.keep = true;
        return ExecOn(h.db, "REINDEX; VACUUM");
    }
    // What a plain read of the damaged file still sees, which the rebuilt file must hold.
    const std::vector<SeenRows> seen = SeenByAPlainRead(h.db, blank.tables);
    if (headerRead) {
        // The raw pages are read from the file itself: what the log holds goes into it first.
        sqlite3_exec(h.db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }

    // The file is rebuilt under its own description of its tables; when that was not read back whole,
    // the rows are moved on into a blank census, which then takes the original's name instead.
    const std::filesystem::path rebuilt = RepairName(original);
    const std::filesystem::path blankFile = BlankName(original);
    RemoveWithCompanions(rebuilt);  // nobody holds them: the original's lock is ours
    RemoveWithCompanions(blankFile);
    std::filesystem::path result = rebuilt;
    Status s;
    {
        Handle out, into;
        rc = OpenAlone(files::Utf8Of(rebuilt), true, out);
        if (rc != SQLITE_OK) {
            s = Failure(out.db, rc);
        } else {
            const Ticking writing(out.db, keepResponsive);
            s = RecoverInto(h.db, out.db, path, headerRead, keepResponsive);
            // Without a blank census the file's own description is all there is; when that fails
            // too, the reason the blank census could not be made is the one to tell.
            Status made = s && blank.make ? OpenBlank(blank, blankFile, into) : Status::Ok();
            if (s && into.db && !HoldsSchemaOf(out.db, into.db)) {
                const Ticking filling(into.db, keepResponsive);
                result = blankFile;
                PageReader pages(h.db);
                s = Salvage(out.db, into.db, pages, blank, path, headerRead, keepResponsive);
            } else if (s) {
                s = Settle(out.db, path, headerRead, blank.finish);
                if (!s && !made) {
                    s = std::move(made);
                }
            }
        }
        Handle& kept = result == rebuilt ? out : into;
        if (s) {
            s = HoldsWhatWasSeen(kept.db, seen, path);
        }
        if (s) {
            rc = sqlite3_close(kept.db);
            kept.db = nullptr;
            if (rc != SQLITE_OK || !files::SyncFile(result)) {
                s = Status::Error(Describe("Errore di scrittura sul disco del file '", Quote(path), "'."));
            }
        }
    }
    RemoveWithCompanions(result == rebuilt ? blankFile : rebuilt);
    if (!s) {
        RemoveWithCompanions(result);
        return s;
    }
    // The damaged original is kept beside the rebuilt file, which takes its name.
    const std::string stem = files::Utf8Of(original.stem());
    const std::string ext = files::Utf8Of(original.extension());
    const std::filesystem::path damaged =
        dir / files::PathOfUtf8(UniqueName(dir, stem + ".danneggiato", ext));
    // Closing the original's handle, now or once the rebuilt file has its name, must neither write into
    // the kept copy nor touch a log by the name the rebuilt file now has.
    sqlite3_db_config(h.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    if constexpr (!files::kOpenFilesCanBeRenamed) {
        // Windows replaces no file that a handle holds (SQLite shares no deletion), so the original is
        // let go here. From here the replacing itself is the check: it fails while any other program
        // holds the file, and the original is then left as it was.
        ticking.Release();
        h.Close();
    }
    // The census stays at its name all along: the damaged original takes a second name (or is copied
    // to it) first, then the rebuilt file replaces it in one step. Killed in between, the damaged
    // census is still at its name, and the rebuilt file left hidden goes with the next repair there.
    if (!files::AlsoNameAs(original, damaged)) {
        RemoveWithCompanions(result);
        return Status::Error(Describe("Impossibile conservare il file danneggiato '", Quote(path), "'."));
    }
    // A log that still holds pages (its first page was unreadable, so it was never copied in) goes
    // with the damaged copy, so that it is never applied to the rebuilt file; an empty one and the
    // log's index are dropped.
    const std::filesystem::path log = files::WithSuffix(original, "-wal");
    const std::filesystem::path keptLog = files::WithSuffix(damaged, "-wal");
    const bool logKept =
        std::filesystem::file_size(log, ec) > 0 && !ec && files::RenameNoReplace(log, keptLog);
    if (!logKept) {
        std::filesystem::remove(log, ec);
    }
    std::filesystem::remove(files::WithSuffix(original, "-shm"), ec);
    if (!files::RenameReplacing(result, original)) {
        RemoveWithCompanions(result);
        if (logKept) {
            std::filesystem::rename(keptLog, log, ec);
        }
        std::filesystem::remove(damaged, ec);
        return Status::Error(
            Describe("Impossibile sostituire il file '", Quote(path), "' con quello ricostruito."));
    }
    (void)files::SyncFolder(dir);  // the file itself is on the disk already; only its name is at stake
    companions.keep = true;
    if (damagedCopy) {
        *damagedCopy = text::Utf8ToCp1252Lossy(files::Utf8Of(damaged));
    }
    return Status::Ok();
}

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

// The stamps of kept copies: YYYYMMDD-HHMMSS.
constexpr std::size_t kStampLength = 15;

// A date and time as seconds from the beginning of 1970, taken as if it were universal time (only the
// order of stamps and a second after one matter); nothing when it is no date and time of years 1-9999.
std::optional<std::int64_t> SecondsOf(const DateTime& t) {
    using namespace std::chrono;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)},
                              day{static_cast<unsigned>(t.day)}};
    if (t.year < 1 || t.year > 9999 || !date.ok() || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59) {
        return std::nullopt;
    }
    return std::int64_t{sys_days(date).time_since_epoch().count()} * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

std::string StampOf(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_days date{days{seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400}};
    const std::int64_t time = seconds - std::int64_t{date.time_since_epoch().count()} * 86400;
    const year_month_day ymd{date};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u-%02d%02d%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time / 3600), static_cast<int>(time / 60 % 60),
                  static_cast<int>(time % 60));
    return stamp;
}

// A copy beside a file, from its name: `prefix`, a stamp, perhaps "-N" (copies made within one second
// by earlier versions of the program), the file's extension.
struct KeptName {
    std::int64_t seconds = 0;
    int sequence = 1;  // N, 1 for none
    std::filesystem::path path;
};

std::optional<KeptName> ReadKeptName(const std::filesystem::path& path, const std::string& prefix,
                                     const std::string& ext) {
    const std::string name = files::Utf8Of(path.filename());
    if (name.size() < prefix.size() + kStampLength + ext.size() || !name.starts_with(prefix) ||
        !name.ends_with(ext)) {
        return std::nullopt;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    const auto digits = [](std::string_view t) {
        return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string_view stamp = std::string_view(middle).substr(0, kStampLength);
    const std::string rest = middle.substr(kStampLength);
    if (!digits(stamp.substr(0, 8)) || stamp[8] != '-' || !digits(stamp.substr(9)) ||
        (!rest.empty() && (rest.size() > 6 || rest[0] != '-' || !digits(rest.substr(1))))) {
        return std::nullopt;
    }
    const auto number = [&](std::size_t from, std::size_t length) {
        return std::stoi(std::string(stamp.substr(from, length)));
    };
    const auto seconds = SecondsOf({.year = number(0, 4),
                                    .month = number(4, 2),
                                    .day = number(6, 2),
                                    .hour = number(9, 2),
                                    .minute = number(11, 2),
                                    .second = number(13, 2)});
    if (!seconds) {
        return std::nullopt;
    }
    return KeptName{*seconds, rest.empty() ? 1 : std::stoi(rest.substr(1)), path};
}

// The copies in `folder` named `prefix`, stamp, `ext`, newest first.
std::vector<KeptName> KeptCopiesIn(const std::filesystem::path& folder, const std::string& prefix,
                                   const std::string& ext) {
    std::vector<KeptName> kept;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        auto copy = ReadKeptName(it->path(), prefix, ext);
        if (copy && it->is_regular_file(ec)) {
            kept.push_back(std::move(*copy));
        }
    }
    std::sort(kept.begin(), kept.end(), [](const KeptName& a, const KeptName& b) {
        return std::tie(a.seconds, a.sequence) > std::tie(b.seconds, b.sequence);
    });
    return kept;
}

}  // namespace

KeptCopy::KeptCopy(std::string file, std::string prefix, std::string extension)
    : file_(std::move(file)),
      shown_(text::Utf8ToCp1252Lossy(file_)),
      prefix_(std::move(prefix)),
      extension_(std::move(extension)) {}

KeptCopy::KeptCopy(KeptCopy&& other) noexcept
    : file_(std::exchange(other.file_, {})),
      shown_(std::move(other.shown_)),
      prefix_(std::move(other.prefix_)),
      extension_(std::move(other.extension_)) {}

KeptCopy::~KeptCopy() {
    if (!file_.empty()) {
        RemoveWithCompanions(files::PathOfUtf8(file_));
    }
}

void KeptCopy::Keep(int newest) {
    if (file_.empty()) {
        return;
    }
    const std::filesystem::path own = files::PathOfUtf8(file_);
    file_.clear();
    const std::vector<KeptName> kept = KeptCopiesIn(own.parent_path(), prefix_, extension_);
    std::size_t left = static_cast<std::size_t>(std::max(newest, 1)) - 1;  // besides this one
    for (const KeptName& copy : kept) {
        if (copy.path.filename() == own.filename()) {
            continue;
        }
        if (left > 0) {
            --left;
        } else if (!Database::IsOpenInProgram(text::Utf8ToCp1252Lossy(files::Utf8Of(copy.path)))) {
            RemoveWithCompanions(copy.path);
        }
    }
}

Result<KeptCopy> Database::KeepCopy(std::string_view label, const std::function<DateTime()>& now,
                                    std::string* copyPath, const std::function<void()>& keepResponsive) {
    if (!db_) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il database non è aperto."));
    }
    const std::filesystem::path original = FsPath(path_);
    const std::filesystem::path folder = original.parent_path();
    const std::string prefix = files::Utf8Of(original.stem()) + "." + Utf8(label) + "-";
    const std::string ext = files::Utf8Of(original.extension());
    const std::vector<KeptName> kept = KeptCopiesIn(folder, prefix, ext);
    std::int64_t seconds = SecondsOf(now()).value_or(0);
    if (!kept.empty() && seconds <= kept.front().seconds) {
        seconds = kept.front().seconds + 1;
    }
    std::error_code ec;
    const auto named = [&] { return folder / files::PathOfUtf8(prefix + StampOf(seconds) + ext); };
    // A name that is taken gives way to the next second's.
    int tries = 0;
    const auto nextName = [&](std::filesystem::path& taken) {
        ++seconds;
        taken = named();
        return ++tries < 1000;
    };
    std::filesystem::path target = named();
    while (std::filesystem::exists(target, ec) && nextName(target)) {
    }
    const std::string shown = text::Utf8ToCp1252Lossy(files::Utf8Of(target));
    if (copyPath) {
        *copyPath = shown;  // named also when it could not be made
    }
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
    int rc = sqlite3_open_v2(Utf8(path_).c_str(), &reader.db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        return Failure(reader.db, rc);
    }
    sqlite3_busy_timeout(reader.db, detail::kBusyTimeoutMs);
    Status s = WriteNewFile(
        target, shown,
        [&](const std::filesystem::path& temporary) {
            return BackupInto(reader.db, temporary, keepResponsive);
        },
        nextName);
    if (!s) {
        return s;
    }
    KeptCopy copy(files::Utf8Of(target), prefix, ext);
    if (copyPath) {
        *copyPath = copy.path();
    }
    return copy;
}

Status Database::Compact(std::string_view source, std::string_view destination, std::string_view locale,
                         const std::function<void()>& keepResponsive) {
    if (!IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    std::error_code ec;
    std::filesystem::path target = FsPath(destination);
    if (destination.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il nome del file di destinazione è vuoto."));
    }
    if (std::filesystem::exists(target, ec)) {
        return Status::Error(Describe("Il file '", Quote(destination), "' esiste già."));
    }
    // Only read: a census in a folder or on a medium nobody can write to is copied all the same.
    auto opened = Open(source, Contents::WholeCensus, Access::ReadOnly);
    if (!opened) {
        return opened.status();
    }
    sqlite3* db = (*opened)->db_;
    const Ticking ticking(db, keepResponsive);
    // A damaged census is not passed on: the copy would read as sound and hold only what could be read.
    if (Status s = detail::CheckIntact(db, source); !s) {
        return s;
    }
    // VACUUM INTO writes only the new file, which a handle that changes nothing may not do.
    return WriteNewFile(target, destination, [&](const std::filesystem::path& temporary) {
        return ExecOn(db, "PRAGMA query_only = OFF; VACUUM INTO " + QuoteLiteral(files::Utf8Of(temporary)));
    });
}

}  // namespace engine
