// The relational engine of the census, on SQLite: database files, transactions, table definitions
// with fields, indexes and relations, table-mode cursors and snapshot queries. This is the only code
// that talks to SQLite. Every text crossing this interface (names, values, SQL, descriptions) is
// Windows-1252; the files hold UTF-8. Paths are file-system paths and may hold any letter; a
// description that names one shows the letters Windows-1252 cannot hold as '?'.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Status.h"
#include "engine/Value.h"

struct sqlite3;

namespace engine {

class TableCursor;
class QueryDef;

// The locale string a census database is created with.
inline constexpr std::string_view kCensusLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";
// Marks a file as a census database (SQLite's application_id).
inline constexpr std::int32_t kApplicationId = 0x56454C55;  // "VELU"
// Marks a census file still being built: it is never opened as a census.
inline constexpr std::int32_t kBuildingApplicationId = 0x56454C30;  // "VEL0"
// The layout of the census files this program writes (PRAGMA user_version).
inline constexpr int kLayoutVersion = 1;

struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
    int size = 0;  // characters for text; 0 lets the type's own size apply
    int ordinalPosition = 0;
    bool required = false;
    bool allowZeroLength = false;
    std::string validationRule;  // an expression on the field, such as "> 0"; empty for none
    std::string validationText;  // the description given when the rule is broken
};

struct IndexDef {
    std::string name;
    std::vector<std::string> columns;  // ascending, at most 10
    bool primary = false;
    bool unique = false;
    bool clustered = false;
    bool ignoreNulls = false;
    bool required = false;
};

struct RelationDef {
    std::string name;
    std::string table;         // the referenced table
    std::string foreignTable;  // the referencing table
    // (column of the referenced table, column of the referencing table), at most 10.
    std::vector<std::pair<std::string, std::string>> fields;
};

// A table being defined: fields are collected here and the table is created by AppendTable.
class TableDef {
  public:
    const std::string& name() const { return name_; }
    const std::vector<FieldDef>& fields() const { return fields_; }
    Status AddField(const FieldDef& field);
    bool appended() const { return appended_; }
    // Indexes defined while the table is not in the file yet: they are created with it.
    const std::vector<IndexDef>& pendingIndexes() const { return pendingIndexes_; }

  private:
    friend class Database;
    explicit TableDef(std::string name) : name_(std::move(name)) {}
    std::string name_;
    std::vector<FieldDef> fields_;
    std::vector<IndexDef> pendingIndexes_;
    bool appended_ = false;
};

class Database {
  public:
    // Creates a new, empty database file; fails when the file exists.
    static Result<std::unique_ptr<Database>> Create(const std::filesystem::path& path,
                                                    std::string_view locale);
    // Begins a new census database that is to be named `path`, which must not exist. It is built
    // under a temporary name beside it, marked as under construction, with its journal in memory and
    // nothing flushed: nobody can see it before FinishBuilding gives it its name. Closed or destroyed
    // before that, it is removed. Files left by builds that were killed are removed first.
    static Result<std::unique_ptr<Database>> CreateForBuilding(const std::filesystem::path& path,
                                                               std::string_view locale);
    // Marks the file a census in WAL mode, closes it, flushes it to disk and gives it its name; fails
    // (and removes it) when that name was taken meanwhile or the disk refuses. Every other handle
    // on the file must be closed first.
    Status FinishBuilding();

    // What a file must hold to be opened: the census mark, or the mark and every census table. A
    // census still being built is never opened: it is written through its creation handle alone.
    enum class Contents { CensusMark, WholeCensus };
    // What the handle may do: read and write, or only read (a command that changes nothing; the file
    // may then lie where nobody can write, on a read-only medium too).
    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing census database, shared.
    static Result<std::unique_ptr<Database>> Open(const std::filesystem::path& path,
                                                  Contents contents = Contents::CensusMark,
                                                  Access access = Access::ReadWrite);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool IsOpen() const { return db_ != nullptr; }
    // Closes the file; any transaction still in progress is rolled back. Cursors and queries opened
    // on the database must be destroyed first.
    Status Close();
    // Reads every page of the file (SQLite's quick check): a damaged file, which would be read only in
    // part or wrongly, is refused with a description that says so.
    Status CheckIntact();
    // The same check through a read-only handle of its own, so that another thread may run it while
    // this handle serves its own; nothing when no such handle opens or reads the file (CheckIntact
    // then judges).
    std::optional<Status> CheckIntactApart() const;

    // Transactions nest: a begin inside a transaction opens a level that its own commit or rollback
    // ends.
    Status BeginTransaction();
    Status CommitTransaction();
    Status RollbackTransaction();
    // The levels in progress; 0 once the engine itself has ended the transaction (a failed write
    // that rolls everything back).
    int TransactionDepth() const;

    Result<TableDef> NewTableDef(std::string_view name) const;
    // Creates the table in the file, with the indexes already defined on it.
    Status AppendTable(TableDef& def);
    // An index of a table in the file.
    Status CreateIndex(std::string_view table, const IndexDef& index);
    // An index of a definition: created in the file when the table is there, otherwise checked
    // against the definition's fields and kept with it.
    Status CreateIndex(TableDef& def, const IndexDef& index);
    // Referential integrity is enforced: a referencing row needs its referenced row, and a referenced
    // row with referencing rows can be neither deleted nor given another key. Nothing cascades.
    Status CreateRelation(const RelationDef& relation);

    bool TableExists(std::string_view table) const;
    Result<std::vector<FieldDef>> Fields(std::string_view table) const;
    Result<std::vector<IndexDef>> Indexes(std::string_view table) const;

    Result<std::unique_ptr<TableCursor>> OpenTable(std::string_view table);
    // An unnamed query on the SQL text (text constants between double quotes).
    Result<std::unique_ptr<QueryDef>> CreateQuery(std::string_view sql);

    sqlite3* handle() const { return db_; }

    // A read-only handle on the same file, for a snapshot that streams its rows under a read
    // transaction of its own; nothing when the file is not in WAL mode (readers would then hold off
    // this handle's writes) or this handle has changes not committed yet (which a reader would not
    // see). Given back with ReturnReader once the snapshot is done.
    sqlite3* TakeReader();
    void ReturnReader(sqlite3* reader);

    // True while this program holds the file open.
    static bool IsOpenInProgram(const std::filesystem::path& path);
    // What a damaged census is rebuilt into when the description of its tables cannot be read back
    // whole: a blank census that the caller makes, complete with the rows the program itself writes.
    // The rows still readable in the damaged file go into the tables named in `tables` (those whose
    // rows the person wrote), each row into the one table of the blank census whose columns its
    // values fit; a recovered row takes the place of the blank's row with the same key, a second row
    // with a key already taken is left out, and rows that fit the other tables are left out too (the
    // blank holds the program's own). `finish` (SQL, run last on every rebuilt census) makes what
    // was recovered agree with itself.
    struct BlankCensus {
        // Makes the blank census at `path` (which does not exist); shows nothing.
        std::function<Status(const std::filesystem::path& path)> make;
        std::vector<std::string> tables;
        std::string finish;
    };
    // Checks a closed database file: a sound file is re-indexed and compacted in place; a damaged
    // one is rebuilt from every row that can still be read, and the damaged original is kept beside
    // it under a name that says so. `damagedCopy` receives that name, as a message shows it, when it
    // happens.
    // A file that another program holds open is refused. `keepResponsive` is called regularly while
    // the work runs. Without `blank`, a file whose description of its tables is lost is not rebuilt.
    // A repair that fails leaves the folder as it was.
    static Status Repair(const std::filesystem::path& path, std::string* damagedCopy = nullptr,
                         const std::function<void()>& keepResponsive = {}, const BlankCensus& blank = {});
    // Copies this database whole, page by page, into the new file `target`, complete or not at all: it
    // is written under a temporary name beside it, flushed to the disk and named only when whole, never
    // over another file; when a file takes that name meanwhile, `another` (when given) changes `target`
    // to the next name to try, or answers false to give up. Taken only at the beginning of a
    // transaction of this handle, before it changes anything: holding the write lock, nobody can
    // change the file before it ends, so the copy holds what the transaction replaces.
    Status CopyInto(std::filesystem::path& target,
                    const std::function<bool(std::filesystem::path& target)>& another = {},
                    const std::function<void()>& keepResponsive = {});
    // Puts a copy of the census `source` in the place of the closed census `census`, in one step: the copy
    // is written whole under a temporary name beside it, flushed to the disk and renamed over it, so that
    // whoever opens `census`, after a process killed at any moment too, finds the old census or the copy,
    // whole. What the old census's log holds goes into it first, and the log goes before the copy takes
    // its name: nothing of it is ever applied to the copy. Refused while any program holds `census` open.
    static Status ReplaceWithCopyOf(const std::filesystem::path& census, const std::filesystem::path& source,
                                    const std::function<void()>& keepResponsive = {});
    // Removes a closed database file with the companions SQLite keeps beside it (journal, log).
    static void Remove(const std::filesystem::path& file);
    // The refusal of a census written by a later version of the program, which this one cannot keep.
    static Status RefuseNewerLayout(const std::filesystem::path& path);
    // Copies a database into a new file, compacting it; fails when the destination exists.
    static Status Compact(const std::filesystem::path& source, const std::filesystem::path& destination,
                          std::string_view locale, const std::function<void()>& keepResponsive = {});

  private:
    Database(sqlite3* db, std::filesystem::path path);
    // SQLite's commit hook: while the engine holds a transaction that SQLite ended by itself (a failure
    // rolled it back), a statement that would commit on its own is turned back, so that nothing is
    // written outside the transaction; it fails, and every later write of the command with it.
    static int RefuseStrayCommit(void* database);
    Status Exec(const std::string& utf8Sql);
    void RemoveUnfinishedBuild();
    void NoteJournalMode();

    sqlite3* db_ = nullptr;
    std::filesystem::path path_;
    int depth_ = 0;
    bool committing_ = false;   // the engine's own COMMIT is running
    std::string registeredAs_;  // the file's key among those the program holds open
    std::vector<sqlite3*> idleReaders_;
    long long changesAtBegin_ = 0;  // the rows changed through this handle when its transaction began
    bool wal_ = false;              // the journal is in WAL mode: readers never hold off this handle's writes
    std::filesystem::path target_;  // while a census is being built: the name it will take
};

}  // namespace engine
