// Repair and compaction of database files.
#include <unistd.h>

#include <cstdint>
#include <limits>

#include "engine/Database.h"
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

// A raw handle on a file, closed on every way out.
class Handle {
  public:
    ~Handle() { sqlite3_close_v2(db); }
    sqlite3* db = nullptr;
};

Status ExecOn(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db, rc);
}

Status NotFound(std::string_view path) {
    return Status::Error(Describe("Impossibile trovare il file '", Quote(path), "'."));
}

// Opens an existing census database file for maintenance.
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
            return Status::Error(Describe("Il file '", Quote(path), "' non è un database del censimento."));
        }
        return Failure(h.db, step);
    }
    return Status::Ok();
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

// Copies the rows of one table, in the order of their row identifiers. A damaged page stops a scan;
// the scan then probes further identifiers until it finds rows it can read again, and narrows back to
// the first readable identifier so that no readable row is passed over.
void CopyReadableRows(sqlite3* from, sqlite3* to, const std::string& table, int columns) {
    std::string params;
    for (int c = 0; c <= columns; ++c) {
        params += c ? ", ?" : "?";
    }
    Stmt names(
        to, "SELECT group_concat('\"' || replace(name, '\"', '\"\"') || '\"', ', ') FROM pragma_table_info(" +
                QuoteLiteral(table) + ")");
    const std::string columnList = names.prepared() && names.Step() == SQLITE_ROW ? names.ColumnText(0) : "";
    Stmt insert(to, "INSERT OR IGNORE INTO " + QuoteIdentifier(table) + " (rowid, " + columnList +
                        ") VALUES (" + params + ")");
    Stmt scan(from, "SELECT rowid, * FROM " + QuoteIdentifier(table) + " WHERE rowid >= ?1 ORDER BY rowid");
    if (!insert.prepared() || !scan.prepared()) {
        return;
    }
    const auto readableFrom = [&](std::int64_t start) {
        scan.Reset();
        scan.BindInt(1, start);
        return scan.Step();
    };
    std::int64_t next = std::numeric_limits<std::int64_t>::min();
    int rc = readableFrom(next);
    while (true) {
        while (rc == SQLITE_ROW) {
            insert.Reset();
            for (int c = 0; c <= columns; ++c) {
                sqlite3_bind_value(insert.get(), c + 1, sqlite3_column_value(scan.get(), c));
            }
            insert.Step();
            const std::int64_t rowid = scan.ColumnInt(0);
            if (rowid == std::numeric_limits<std::int64_t>::max()) {
                return;
            }
            next = rowid + 1;
            rc = scan.Step();
        }
        if (rc == SQLITE_DONE) {
            return;
        }
        // Damaged from `next` on: probe ever further identifiers.
        std::int64_t failing = next;
        std::uint64_t jump = 1;
        std::int64_t probe = next;
        rc = SQLITE_CORRUPT;
        while (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            if (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() - probe) < jump) {
                return;
            }
            failing = probe;
            probe += static_cast<std::int64_t>(jump);
            jump *= 2;
            rc = readableFrom(probe);
        }
        if (rc == SQLITE_DONE && probe - failing <= 1) {
            return;
        }
        // Narrow back between the last failing and the first readable identifier.
        while (probe - failing > 1) {
            const std::int64_t mid = failing + (probe - failing) / 2;
            const int r = readableFrom(mid);
            if (r == SQLITE_ROW || r == SQLITE_DONE) {
                probe = mid;
            } else {
                failing = mid;
            }
        }
        rc = readableFrom(probe);
        if (rc == SQLITE_DONE) {
            return;
        }
    }
}

// Builds a new file at `target` from the schema and the readable rows of `from`.
Status Rebuild(sqlite3* from, std::string_view path, const std::string& target) {
    struct Entry {
        std::string type, name, sql;
    };
    std::vector<Entry> schema;
    Stmt read(
        from,
        "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' ORDER BY CASE type WHEN 'table' THEN 0 WHEN 'index' THEN 1 ELSE 2 END, rowid");
    int rc = read.prepared() ? SQLITE_OK : read.rc();
    while (read.prepared() && (rc = read.Step()) == SQLITE_ROW) {
        schema.push_back({read.ColumnText(0), read.ColumnText(1), read.ColumnText(2)});
    }
    if (rc != SQLITE_DONE) {
        return Status::Error(Describe("Il database '", Quote(path),
                                      "' è danneggiato nella descrizione delle sue tabelle: non è possibile "
                                      "ricostruirlo."));
    }
    read = Stmt();
    Handle out;
    rc = sqlite3_open_v2(target.c_str(), &out.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        return Failure(out.db, rc);
    }
    Status s = ExecOn(out.db, "PRAGMA application_id = " + std::to_string(kApplicationId) +
                                  "; PRAGMA user_version = 1; BEGIN");
    // Tables and their unique indexes first, so that the copy keeps the keys unique; the relations'
    // triggers last, so that no readable row is refused for a row that was lost.
    for (const Entry& e : schema) {
        if (s && e.type != "trigger") {
            s = ExecOn(out.db, e.sql);
        }
    }
    for (const Entry& e : schema) {
        if (s && e.type == "table") {
            Stmt count(out.db, "SELECT count(*) FROM pragma_table_info(" + QuoteLiteral(e.name) + ")");
            const int columns =
                count.prepared() && count.Step() == SQLITE_ROW ? static_cast<int>(count.ColumnInt(0)) : 0;
            count = Stmt();
            CopyReadableRows(from, out.db, e.name, columns);
        }
    }
    for (const Entry& e : schema) {
        if (s && e.type == "trigger") {
            s = ExecOn(out.db, e.sql);
        }
    }
    if (s) {
        s = ExecOn(out.db, "COMMIT; PRAGMA journal_mode = WAL");
    }
    return s;
}

}  // namespace

Status Database::Repair(std::string_view path, std::string* damagedCopy) {
    if (IsOpenInProgram(path)) {
        return Status::Error(
            Describe("Il database '", Quote(path),
                     "' è aperto in questo programma: occorre sconnetterlo prima di ripararlo."));
    }
    Handle h;
    Status s = OpenCensusFile(path, h);
    if (!s) {
        return s;
    }
    Stmt check(h.db, "PRAGMA integrity_check(1)");
    const int rc = check.prepared() ? check.Step() : check.rc();
    const bool sound = rc == SQLITE_ROW && check.ColumnText(0) == "ok";
    check = Stmt();
    if (sound) {
        return ExecOn(h.db, "REINDEX; VACUUM");
    }
    if (rc != SQLITE_ROW && (rc & 0xFF) != SQLITE_CORRUPT) {
        return Failure(h.db, rc);  // locked, unreadable, out of memory: nothing to rebuild from
    }
    const std::filesystem::path original = FsPath(path);
    const std::filesystem::path dir = original.parent_path();
    const std::string stem = original.stem().string();
    const std::string ext = original.extension().string();
    const std::filesystem::path rebuilt = dir / UniqueName(dir, stem + ".ricostruzione", ext);
    s = Rebuild(h.db, path, rebuilt.string());
    sqlite3_close_v2(h.db);
    h.db = nullptr;
    std::error_code ec;
    if (!s) {
        std::filesystem::remove(rebuilt, ec);
        std::filesystem::remove(rebuilt.string() + "-wal", ec);
        std::filesystem::remove(rebuilt.string() + "-shm", ec);
        return s;
    }
    // The damaged original is kept beside the rebuilt file, which takes its name.
    const std::filesystem::path damaged = dir / UniqueName(dir, stem + ".danneggiato", ext);
    std::filesystem::rename(original, damaged, ec);
    if (ec) {
        std::filesystem::remove(rebuilt, ec);
        return Status::Error(Describe("Impossibile rinominare il file danneggiato '", Quote(path), "'."));
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        if (std::filesystem::exists(original.string() + suffix, ec)) {
            std::filesystem::rename(original.string() + suffix, damaged.string() + suffix, ec);
        }
    }
    std::filesystem::rename(rebuilt, original, ec);
    if (ec) {
        return Status::Error(
            Describe("Impossibile sostituire il file '", Quote(path), "' con quello ricostruito."));
    }
    if (damagedCopy) {
        *damagedCopy = text::Utf8ToCp1252Lossy(damaged.string());
    }
    return Status::Ok();
}

Status Database::Compact(std::string_view source, std::string_view destination, std::string_view locale) {
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
