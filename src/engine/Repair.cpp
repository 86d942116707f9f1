// Repair of a census file: the integrity check, re-indexing and compaction of a sound file, and the
// rebuilding of a damaged one through SQLite's recovery (into a blank census when its description of
// its tables is lost), with the damaged original kept beside it.
#include <sqlite3recover.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Attributes.h"
#include "engine/Database.h"
#include "engine/DbPage.h"
#include "engine/FileSystem.h"
#include "engine/FileWork.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"
#include "text/Text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace engine {

using detail::ExecOn;
using detail::Failure;
using detail::Handle;
using detail::IsFatal;
using detail::kCompanions;
using detail::kLostRows;
using detail::NotCensus;
using detail::OpenAlone;
using detail::QueryInt;
using detail::RemoveWithCompanions;
using detail::RunFinish;
using detail::Seal;
using detail::Stmt;
using detail::TableExists;
using detail::Ticking;
using detail::Utf8;

namespace {

// The endings of the hidden files a repair works on, beside the damaged file: the file in which it
// is rebuilt, and the blank census it is rebuilt into when the description of its tables is lost
// (itself built under files::BuildingName).
constexpr std::string_view kRepairEnding = ".in-riparazione";
constexpr std::string_view kBlankEnding = ".in-riparazione-vuoto";

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

// While a repair runs, the memory it frees stays with the process instead of going back to the system
// at once: the recovery copies each of a damaged file's large values as it reads it and drops the copy
// once its row is written, and giving their memory back and taking it again each time costs more than
// all the rest. Afterwards the usual limit holds again and what is left over is given back.
class FreedMemoryKept {
  public:
    FreedMemoryKept() {
#if defined(__GLIBC__)
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
    }
    ~FreedMemoryKept() {
#if defined(__GLIBC__)
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);  // the C library's own default
        malloc_trim(0);
#endif
    }
    FreedMemoryKept(const FreedMemoryKept&) = delete;
    FreedMemoryKept& operator=(const FreedMemoryKept&) = delete;
};

// Recovers into the file `rebuilt` whatever SQLite's recovery reads of `from`: the tables that the
// file's description of its tables names, with their rows, and in kLostRows the rows it could not give
// to any of them (the entries of indexes among them, which nothing places). The recovery writes the
// file on a connection of its own, binding each value as it was read; `rebuilt` is then held alone in
// `out` again, without the census mark and version, which the file gets only when it is complete.
// `headerRead` tells whether the damaged file's header could be read: when it could not and the
// recovery fails, the file was no database to begin with.
Status RecoverInto(sqlite3* from, const std::filesystem::path& rebuilt, Handle& out, std::string_view path,
                   bool headerRead, const std::function<void()>& keepResponsive) {
    // Made here first, so that a file that cannot be made fails as any other would. Until it is held
    // alone again, another repair in the folder may take it for abandoned and remove it: this one then
    // fails on opening it, leaving nothing behind.
    const std::string file = files::Utf8Of(rebuilt);
    int rc = OpenAlone(file, true, out);
    if (rc != SQLITE_OK) {
        return Failure(out.db, rc);
    }
    out.Close();
    const int registered = detail::RegisterDbPage(from);
    if (registered != SQLITE_OK) {
        return Failure(from, registered);
    }
    std::optional<detail::FormatBytesGuard> guard;
    if (!headerRead) {
        guard.emplace(from);
        sqlite3_file_control(from, "main", SQLITE_FCNTL_RESET_CACHE, nullptr);
    }
    sqlite3_recover* recover = sqlite3_recover_init(from, "main", file.c_str());
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
    rc = sqlite3_recover_finish(recover);
    guard.reset();
    // The disk or the memory failing on the file being written ends the repair as on any other file.
    if (IsFatal(rc)) {
        return Failure(nullptr, rc);
    }
    if (rc != SQLITE_OK && !IsDamage(rc)) {
        return Status::Error(
            Describe("Errore del motore di database: ", Quote(text::Utf8ToCp1252Lossy(message)), "."));
    }
    if (rc != SQLITE_OK && !headerRead) {
        return NotCensus(path);
    }
    rc = OpenAlone(file, false, out);
    if (rc != SQLITE_OK) {
        return Failure(out.db, rc);
    }
    Status s = ExecOn(out.db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    if (s &&
        (QueryInt(out.db, "PRAGMA application_id") != 0 || QueryInt(out.db, "PRAGMA user_version") != 0)) {
        s = ExecOn(out.db, "PRAGMA application_id = 0; PRAGMA user_version = 0");
    }
    return s;
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
    Status s = census.make(file);
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

Status Database::Repair(const std::filesystem::path& original, std::string* damagedCopy,
                        const std::function<void()>& keepResponsive, const BlankCensus& blank) {
    // The census as the messages name it.
    const std::string path = files::ShownPath(original);
    if (auto refused = detail::RefusedInPlace(original, "ripararlo")) {
        return *refused;
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
        return files::CanWriteIn(dir.empty() ? "." : dir) ? Failure(h.db, rc) : detail::Unwritable(original);
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
        const FreedMemoryKept keptMemory;
        Handle out, into;
        s = RecoverInto(h.db, rebuilt, out, path, headerRead, keepResponsive);
        if (s) {
            const Ticking writing(out.db, keepResponsive);
            // Without a blank census the file's own description is all there is; when that fails
            // too, the reason the blank census could not be made is the one to tell.
            Status made = s && blank.make ? OpenBlank(blank, blankFile, into) : Status::Ok();
            if (s && into.db && !HoldsSchemaOf(out.db, into.db)) {
                const Ticking filling(into.db, keepResponsive);
                result = blankFile;
                s = detail::Salvage(out.db, into.db, h.db, blank, path, headerRead, keepResponsive);
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
    std::error_code ec;
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
        *damagedCopy = files::ShownPath(damaged);
    }
    return Status::Ok();
}

}  // namespace engine
