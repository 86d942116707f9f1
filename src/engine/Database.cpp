#include "engine/Database.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>

#include "engine/FileSystem.h"
#include "engine/Messages.h"
#include "engine/Query.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"
#include "engine/TableCursor.h"

namespace engine {

using detail::Failure;
using detail::Stmt;
using detail::Utf8;

namespace {

constexpr int kMaxIndexColumns = 10;
constexpr int kMaxRelationFields = 10;
constexpr int kBusyTimeoutMs = 5000;

bool IsValidName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == ' ' || name.starts_with("sqlite_")) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' ||
               c == ']' || c == '"' || c == ':';
    });
}

// Names compare without regard to the case of their letters.
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

Status InvalidName(std::string_view what, std::string_view name) {
    return Status::Error(Describe("'", Quote(name), "' non è un nome valido per ", what, "."));
}

// The column definition of a field, with its constraints named so that a refusal can be described.
std::string ColumnDefinition(const FieldDef& f) {
    const std::string name = Utf8(f.name);
    const std::string col = QuoteIdentifier(name);
    auto constraint = [&](std::string_view kind, const std::string& check) {
        return " CONSTRAINT " + QuoteIdentifier(name + ":" + std::string(kind)) + " CHECK (" + check + ")";
    };
    std::string def = col + " " + detail::DeclaredType(f.type, f.size);
    if (f.type == FieldType::Text || f.type == FieldType::Memo) {
        def += " COLLATE NOCASE";
    }
    if (f.required) {
        def += " NOT NULL";
    }
    switch (f.type) {
        case FieldType::Byte:
            def += constraint("intervallo", col + " BETWEEN 0 AND 255");
            break;
        case FieldType::Integer:
            def += constraint("intervallo", col + " BETWEEN -32768 AND 32767");
            break;
        case FieldType::Long:
            def += constraint("intervallo", col + " BETWEEN -2147483648 AND 2147483647");
            break;
        case FieldType::Text:
            def += constraint("lunghezza", "length(" + col + ") <= " + std::to_string(f.size));
            break;
        default:
            break;
    }
    if ((f.type == FieldType::Text || f.type == FieldType::Memo) && !f.allowZeroLength) {
        def += constraint("vuoto", col + " <> ''");
    }
    if (!f.validationRule.empty()) {
        def += constraint("regola:" + Utf8(f.validationText),
                          ExpandFieldRule(col, Utf8(TranslateSql(f.validationRule))));
    }
    return def;
}

std::string IndexSqlName(std::string_view table, std::string_view index) {
    return QuoteIdentifier(Utf8(table) + "." + Utf8(index));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Files

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

std::string FileKey(std::string_view path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(detail::FsPath(path), ec);
    return ec ? detail::FsPath(path).string() : canonical.string();
}

}  // namespace

Database::Database(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {
    registeredAs_ = FileKey(path_);
    std::lock_guard lock(OpenFilesMutex());
    OpenFiles().insert(registeredAs_);
}

bool Database::IsOpenInProgram(std::string_view path) {
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
    std::FILE* made = std::fopen(file.string().c_str(), "wbx");
    if (!made) {
        if (std::filesystem::exists(file, ec)) {
            return Status::Error(Describe("Il file '", Quote(shown), "' esiste già."));
        }
        return Status::Error(Describe("Impossibile creare il file '", Quote(shown),
                                      "': la cartella non esiste o non si hanno i permessi di scrittura."));
    }
    std::fclose(made);
    return Status::Ok();
}

// The temporary name of a census file being built for `target`: hidden, beside it, with the
// identifier of the building process, and an ending no census file has.
constexpr std::string_view kBuildingEnding = ".in-costruzione";

std::filesystem::path BuildingName(const std::filesystem::path& target) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(files::CurrentProcessId());
    name += kBuildingEnding;
    return target.parent_path() / name;
}

// Removes the files that builds killed before they finished left in `folder`: those of processes
// that no longer run. A build in progress elsewhere is left alone.
void RemoveAbandonedBuilds(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kBuildingEnding.size() + 2 || name[0] != '.' || !name.ends_with(kBuildingEnding)) {
            continue;
        }
        const std::string rest = name.substr(0, name.size() - kBuildingEnding.size());
        const std::size_t dot = rest.rfind('.');
        const std::string digits = dot == std::string::npos ? "" : rest.substr(dot + 1);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        if (!files::ProcessRuns(std::stol(digits))) {
            std::error_code removed;
            std::filesystem::remove(it->path(), removed);
        }
    }
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Create(std::string_view path, std::string_view locale) {
    if (!detail::IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    if (path.empty()) {
        return Status::Error(It("Il nome del file del database è vuoto."));
    }
    const auto fsPath = detail::FsPath(path);
    if (Status made = MakeEmptyFile(fsPath, path); !made) {
        return made;
    }
    std::error_code ec;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(Utf8(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> result(new Database(db, std::string(path)));
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        Status s = result->Exec(
            "PRAGMA application_id = " + std::to_string(kApplicationId) +
            "; PRAGMA user_version = 1; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
        if (s) {
            return result;
        }
        result.reset();
        std::filesystem::remove(fsPath, ec);
        return s;
    }
    Status failure = Failure(db, rc);
    result.reset();
    std::filesystem::remove(fsPath, ec);
    return failure;
}

Result<std::unique_ptr<Database>> Database::CreateForBuilding(std::string_view path,
                                                              std::string_view locale) {
    if (!detail::IsSupportedLocale(locale)) {
        return Status::Error(Describe("Impostazione internazionale non valida: '", Quote(locale), "'."));
    }
    if (path.empty()) {
        return Status::Error(It("Il nome del file del database è vuoto."));
    }
    const auto target = detail::FsPath(path);
    std::error_code ec;
    if (std::filesystem::exists(target, ec)) {
        return Status::Error(Describe("Il file '", Quote(path), "' esiste già."));
    }
    RemoveAbandonedBuilds(target.parent_path());
    const auto building = BuildingName(target);
    if (Status made = MakeEmptyFile(building, path); !made) {
        return made;
    }
    const std::string buildingPath = text::Utf8ToCp1252Lossy(building.string());
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(building.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> result(new Database(db, buildingPath));
    result->target_ = std::string(path);
    if (rc != SQLITE_OK) {
        Status failure = Failure(db, rc);
        (void)result->Close();  // removes the temporary; the open's failure is the one to tell
        return failure;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Nobody can see the file before it is finished: the journal stays in memory and nothing is
    // flushed until FinishBuilding.
    Status s =
        result->Exec("PRAGMA application_id = " + std::to_string(kBuildingApplicationId) +
                     "; PRAGMA user_version = 1; PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF;");
    if (!s) {
        (void)result->Close();  // removes the temporary; the pragma's failure is the one to tell
        return s;
    }
    return result;
}

Status Database::FinishBuilding() {
    if (!db_ || target_.empty()) {
        return Status::Error(It("Il database non è in costruzione."));
    }
    const std::filesystem::path building = detail::FsPath(path_);
    const std::string shown = target_;
    const std::filesystem::path target = detail::FsPath(shown);
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
            std::filesystem::remove(building.string() + suffix, ec);
        }
    }
    return s;
}

Result<std::unique_ptr<Database>> Database::Open(std::string_view path, Contents contents) {
    std::error_code ec;
    const auto fsPath = detail::FsPath(path);
    if (path.empty() || !std::filesystem::exists(fsPath, ec)) {
        return Status::Error(Describe("Impossibile trovare il file '", Quote(path), "'."));
    }
    if (std::filesystem::is_directory(fsPath, ec)) {
        return Status::Error(Describe("'", Quote(path), "' è una cartella, non un file di database."));
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(Utf8(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> result(new Database(db, std::string(path)));
    if (rc != SQLITE_OK) {
        return Failure(db, rc);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const auto notCensus = [&] {
        return Status::Error(Describe("Il file '", Quote(path), "' non è un database del censimento."));
    };
    Stmt id(db, "PRAGMA application_id");
    if (!id.prepared() || id.Step() != SQLITE_ROW) {
        const int code = id.prepared() ? id.rc() : sqlite3_errcode(db);
        if ((code & 0xFF) == SQLITE_NOTADB) {
            return notCensus();
        }
        return Failure(db, code);
    }
    const bool building = contents == Contents::UnderConstruction;
    if (id.ColumnInt(0) != (building ? kBuildingApplicationId : kApplicationId)) {
        return notCensus();
    }
    id = Stmt();
    // A file marked as a census but without all its tables (a creation that never finished) is
    // refused here, so that no command works on half a census.
    if (contents == Contents::WholeCensus) {
        if (Status complete = detail::CheckCensusTables(db, path); !complete) {
            return complete;
        }
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
        return Status::Error(Describe("Il file '", Quote(path),
                                      "' è di sola lettura: non si hanno i permessi per modificarlo."));
    }
    Status s = result->Exec(building ? "PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF;"
                                     : "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
    if (!s) {
        return s;
    }
    return result;
}

Database::~Database() {
    if (db_) {
        (void)Close();
    }
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
    Stmt mode(db_, "PRAGMA journal_mode");
    if (!mode.prepared() || mode.Step() != SQLITE_ROW || mode.ColumnText(0) != "wal") {
        return nullptr;
    }
    if (!idleReaders_.empty()) {
        sqlite3* reader = idleReaders_.back();
        idleReaders_.pop_back();
        return reader;
    }
    sqlite3* reader = nullptr;
    if (sqlite3_open_v2(Utf8(path_).c_str(), &reader, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
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
    const std::filesystem::path building = detail::FsPath(path_);
    std::filesystem::remove(building, ec);
    std::filesystem::remove(building.string() + "-journal", ec);
    std::filesystem::remove(building.string() + "-wal", ec);
    std::filesystem::remove(building.string() + "-shm", ec);
    target_.clear();
}

Status Database::Exec(const std::string& utf8Sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, utf8Sql.c_str(), nullptr, nullptr, &error);
    sqlite3_free(error);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db_, rc);
}

// ---------------------------------------------------------------------------------------------------
// Transactions

void Database::SetBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
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
        return Status::Error(It("Impossibile convalidare: nessuna transazione è in corso."));
    }
    Status s = depth_ == 1 ? Exec("COMMIT") : Exec("RELEASE level" + std::to_string(depth_));
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
        return Status::Error(It("Impossibile annullare: nessuna transazione è in corso."));
    }
    const std::string level = "level" + std::to_string(depth_);
    Status s = depth_ == 1 ? Exec("ROLLBACK") : Exec("ROLLBACK TO " + level + "; RELEASE " + level);
    if (s) {
        --depth_;
    }
    return s;
}

// ---------------------------------------------------------------------------------------------------
// Structure

Status TableDef::AddField(const FieldDef& field) {
    if (!IsValidName(field.name)) {
        return InvalidName("un campo", field.name);
    }
    for (const FieldDef& f : fields_) {
        if (SameName(f.name, field.name)) {
            return Status::Error(Describe("Il campo '", Quote(field.name), "' è già definito nella tabella '",
                                          Quote(name_), "'."));
        }
    }
    FieldDef f = field;
    if (f.type == FieldType::Text) {
        if (f.size == 0) {
            f.size = 255;
        }
        if (f.size < 1 || f.size > 255) {
            return Status::Error(Describe("La dimensione del campo di testo '", Quote(field.name),
                                          "' deve essere compresa tra 1 e 255 caratteri."));
        }
    } else {
        f.size = 0;
    }
    if (f.type != FieldType::Text && f.type != FieldType::Memo) {
        f.allowZeroLength = false;
    }
    fields_.push_back(std::move(f));
    return Status::Ok();
}

Result<TableDef> Database::NewTableDef(std::string_view name) const {
    if (!IsValidName(name)) {
        return InvalidName("una tabella", name);
    }
    return TableDef(std::string(name));
}

bool Database::TableExists(std::string_view table) const {
    Stmt st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    st.BindText(1, Utf8(table));
    return st.prepared() && st.Step() == SQLITE_ROW;
}

std::vector<std::string> Database::TableNames() const {
    std::vector<std::string> names;
    Stmt st(db_,
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
            "ORDER BY name");
    while (st.prepared() && st.Step() == SQLITE_ROW) {
        names.push_back(text::Utf8ToCp1252Lossy(st.ColumnText(0)));
    }
    return names;
}

Status Database::AppendTable(TableDef& def) {
    if (TableExists(def.name())) {
        return Status::Error(Describe("La tabella '", Quote(def.name()), "' esiste già."));
    }
    if (def.fields().empty()) {
        return Status::Error(Describe("Impossibile creare la tabella '", Quote(def.name()),
                                      "': non ha alcun campo definito."));
    }
    std::vector<const FieldDef*> ordered;
    for (const FieldDef& f : def.fields()) {
        ordered.push_back(&f);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const FieldDef* a, const FieldDef* b) {
        return (a->ordinalPosition > 0 ? a->ordinalPosition : INT32_MAX) <
               (b->ordinalPosition > 0 ? b->ordinalPosition : INT32_MAX);
    });
    std::string sql = "CREATE TABLE " + QuoteIdentifier(Utf8(def.name())) + " (\n";
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        sql += "  " + ColumnDefinition(*ordered[i]) + (i + 1 < ordered.size() ? ",\n" : "\n");
    }
    sql += ")";
    Status s = Exec("SAVEPOINT append_table");
    if (!s) {
        return s;
    }
    s = Exec(sql);
    for (std::size_t i = 0; s && i < def.pendingIndexes().size(); ++i) {
        s = CreateIndex(def.name(), def.pendingIndexes()[i]);
    }
    if (!s) {
        (void)Exec("ROLLBACK TO append_table; RELEASE append_table");
        return s;
    }
    s = Exec("RELEASE append_table");
    if (s) {
        def.appended_ = true;
        def.pendingIndexes_.clear();
    }
    return s;
}

Result<std::vector<FieldDef>> Database::Fields(std::string_view table) const {
    Stmt sqlOf(db_, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    sqlOf.BindText(1, Utf8(table));
    if (!sqlOf.prepared() || sqlOf.Step() != SQLITE_ROW) {
        return Status::Error(Describe("La tabella '", Quote(table), "' non esiste."));
    }
    const std::string createSql = sqlOf.ColumnText(0);
    Stmt info(db_, "SELECT name, type, \"notnull\", cid FROM pragma_table_info(?1)");
    info.BindText(1, Utf8(table));
    std::vector<FieldDef> fields;
    while (info.prepared() && info.Step() == SQLITE_ROW) {
        FieldDef f;
        const std::string name = info.ColumnText(0);
        f.name = text::Utf8ToCp1252Lossy(name);
        if (!detail::ParseDeclaredType(info.ColumnText(1), f.type, f.size)) {
            f.type = FieldType::LongBinary;
        }
        f.required = info.ColumnInt(2) != 0;
        f.ordinalPosition = static_cast<int>(info.ColumnInt(3)) + 1;
        const bool textual = f.type == FieldType::Text || f.type == FieldType::Memo;
        f.allowZeroLength =
            textual && createSql.find("CONSTRAINT " + QuoteIdentifier(name + ":vuoto")) == std::string::npos;
        const std::string rulePrefix = "CONSTRAINT \"" + name + ":regola:";
        const std::size_t rule = createSql.find(rulePrefix);
        if (rule != std::string::npos) {
            // The name holds the validation text up to its closing quote (quotes inside are doubled).
            std::size_t pos = rule + rulePrefix.size();
            std::string validationText;
            while (pos < createSql.size()) {
                if (createSql[pos] == '"' && pos + 1 < createSql.size() && createSql[pos + 1] == '"') {
                    validationText += '"';
                    pos += 2;
                } else if (createSql[pos] == '"') {
                    break;
                } else {
                    validationText += createSql[pos++];
                }
            }
            f.validationText = text::Utf8ToCp1252Lossy(validationText);
            const std::size_t open = createSql.find("CHECK (", pos);
            int depth = 0;
            std::size_t end = open + 6;
            for (; end < createSql.size(); ++end) {
                depth += createSql[end] == '(' ? 1 : createSql[end] == ')' ? -1 : 0;
                if (depth == 0) {
                    break;
                }
            }
            f.validationRule = text::Utf8ToCp1252Lossy(createSql.substr(open + 7, end - open - 7));
        }
        fields.push_back(std::move(f));
    }
    return fields;
}

Result<std::vector<IndexDef>> Database::Indexes(std::string_view table) const {
    if (!TableExists(table)) {
        return Status::Error(Describe("La tabella '", Quote(table), "' non esiste."));
    }
    std::vector<IndexDef> indexes;
    Stmt list(db_,
              "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 COLLATE NOCASE "
              "AND sql IS NOT NULL ORDER BY name");
    list.BindText(1, Utf8(table));
    while (list.prepared() && list.Step() == SQLITE_ROW) {
        const std::string sqlName = list.ColumnText(0);
        const std::string sql = list.ColumnText(1);
        IndexDef def;
        const std::size_t dot = sqlName.find('.');
        def.name = text::Utf8ToCp1252Lossy(dot == std::string::npos ? sqlName : sqlName.substr(dot + 1));
        def.unique = sql.starts_with("CREATE UNIQUE");
        const std::size_t comment = sql.rfind("/*");
        const std::string flags = comment == std::string::npos ? "" : sql.substr(comment);
        def.primary = flags.find(" primary") != std::string::npos;
        def.clustered = flags.find(" clustered") != std::string::npos;
        def.ignoreNulls = flags.find(" ignorenulls") != std::string::npos;
        def.required = flags.find(" required") != std::string::npos;
        Stmt cols(db_, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno");
        cols.BindText(1, sqlName);
        while (cols.prepared() && cols.Step() == SQLITE_ROW) {
            def.columns.push_back(text::Utf8ToCp1252Lossy(cols.ColumnText(0)));
        }
        indexes.push_back(std::move(def));
    }
    return indexes;
}

namespace {

// Checks an index against the fields of its table and the indexes it already has; gives the column
// list of the statement that creates it.
Status CheckIndex(std::string_view table, const IndexDef& index, const std::vector<FieldDef>& fields,
                  const std::vector<IndexDef>& existing, std::string& columns) {
    if (!IsValidName(index.name)) {
        return InvalidName("un indice", index.name);
    }
    if (index.columns.empty() || index.columns.size() > kMaxIndexColumns) {
        return Status::Error(Describe("L'indice '", Quote(index.name), "' deve avere da 1 a 10 campi."));
    }
    for (const std::string& c : index.columns) {
        const bool known =
            std::any_of(fields.begin(), fields.end(), [&](const FieldDef& f) { return SameName(f.name, c); });
        if (!known) {
            return Status::Error(Describe("Impossibile creare l'indice '", Quote(index.name), "': il campo '",
                                          Quote(c), "' non esiste nella tabella '", Quote(table), "'."));
        }
        columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(Utf8(c)) + " ASC";
    }
    for (const IndexDef& other : existing) {
        if (SameName(other.name, index.name)) {
            return Status::Error(Describe("L'indice '", Quote(index.name), "' esiste già nella tabella '",
                                          Quote(table), "'."));
        }
        if (other.primary && index.primary) {
            return Status::Error(Describe("La tabella '", Quote(table), "' ha già una chiave primaria ('",
                                          Quote(other.name), "')."));
        }
    }
    return Status::Ok();
}

}  // namespace

Status Database::CreateIndex(TableDef& def, const IndexDef& index) {
    if (def.appended_) {
        return CreateIndex(def.name(), index);
    }
    std::string columns;
    Status s = CheckIndex(def.name(), index, def.fields(), def.pendingIndexes_, columns);
    if (s) {
        def.pendingIndexes_.push_back(index);
    }
    return s;
}

Status Database::CreateIndex(std::string_view table, const IndexDef& index) {
    auto fields = Fields(table);
    if (!fields) {
        return Status::Error(Describe("Impossibile creare l'indice '", Quote(index.name), "': la tabella '",
                                      Quote(table), "' non esiste."));
    }
    std::string columns;
    Status checked = CheckIndex(table, index, *fields, *Indexes(table), columns);
    if (!checked) {
        return checked;
    }
    std::string flags;
    flags += index.primary ? " primary" : "";
    flags += index.clustered ? " clustered" : "";
    flags += index.ignoreNulls ? " ignorenulls" : "";
    flags += index.required ? " required" : "";
    const bool unique = index.primary || index.unique;
    const std::string sql = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                            IndexSqlName(table, index.name) + " ON " + QuoteIdentifier(Utf8(table)) + " (" +
                            columns + ")" + (flags.empty() ? "" : " /*" + flags + " */");
    Status s = Exec(sql);
    if (!s && (sqlite3_errcode(db_) & 0xFF) == SQLITE_CONSTRAINT) {
        return Status::Error(Describe("Impossibile creare l'indice univoco '", Quote(index.name),
                                      "': la tabella '", Quote(table), "' contiene valori duplicati."));
    }
    return s;
}

// ---------------------------------------------------------------------------------------------------
// Relations, enforced by triggers named after the relation.

Status Database::CreateRelation(const RelationDef& rel) {
    const auto refuse = [&](auto... pieces) {
        return Status::Error(
            Describe("Impossibile creare la relazione '", Quote(rel.name), "': ", pieces...));
    };
    if (!IsValidName(rel.name)) {
        return InvalidName("una relazione", rel.name);
    }
    const std::string triggerBase = "rel:" + Utf8(rel.name) + ":";
    {
        Stmt st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?1");
        st.BindText(1, triggerBase + "ins");
        if (st.prepared() && st.Step() == SQLITE_ROW) {
            return Status::Error(Describe("La relazione '", Quote(rel.name), "' esiste già."));
        }
    }
    for (const std::string* t : {&rel.table, &rel.foreignTable}) {
        if (!TableExists(*t)) {
            return refuse("la tabella '", Quote(*t), "' non esiste.");
        }
    }
    if (rel.fields.empty() || rel.fields.size() > kMaxRelationFields) {
        return refuse("deve avere da 1 a 10 coppie di campi.");
    }
    auto primaryFields = Fields(rel.table);
    auto foreignFields = Fields(rel.foreignTable);
    const auto has = [](const std::vector<FieldDef>& fields, const std::string& name) {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const FieldDef& f) { return SameName(f.name, name); });
    };
    std::set<std::string> keyColumns;
    for (const auto& [key, foreign] : rel.fields) {
        if (!has(*primaryFields, key)) {
            return refuse("il campo '", Quote(key), "' non esiste nella tabella '", Quote(rel.table), "'.");
        }
        if (!has(*foreignFields, foreign)) {
            return refuse("il campo '", Quote(foreign), "' non esiste nella tabella '",
                          Quote(rel.foreignTable), "'.");
        }
        keyColumns.insert(Utf8(key));
    }
    // The referenced side must be a unique key, as a one-to-many relation needs.
    bool uniqueKey = false;
    const auto keys = Indexes(rel.table);
    for (const IndexDef& idx : *keys) {
        std::set<std::string> cols;
        for (const std::string& c : idx.columns) {
            cols.insert(Utf8(c));
        }
        uniqueKey = uniqueKey || ((idx.unique || idx.primary) && cols == keyColumns);
    }
    if (!uniqueKey) {
        return refuse("i campi della tabella '", Quote(rel.table), "' non formano una chiave univoca.");
    }
    const std::string pt = QuoteIdentifier(Utf8(rel.table));
    const std::string ft = QuoteIdentifier(Utf8(rel.foreignTable));
    std::string match;        // referenced row of NEW foreign row
    std::string children;     // referencing rows of OLD referenced row
    std::string notNull;      // the foreign key is complete
    std::string keyChanged;   // the referenced key changes
    std::string foreignCols;  // columns of the referencing table
    std::string keyCols;
    for (const auto& [key, foreign] : rel.fields) {
        const std::string k = QuoteIdentifier(Utf8(key));
        const std::string f = QuoteIdentifier(Utf8(foreign));
        const auto join = [](std::string& s, const std::string& sep, const std::string& part) {
            s += (s.empty() ? "" : sep) + part;
        };
        join(match, " AND ", pt + "." + k + " = NEW." + f);
        join(children, " AND ", ft + "." + f + " = OLD." + k);
        join(notNull, " AND ", "NEW." + f + " IS NOT NULL");
        join(keyChanged, " OR ", "NEW." + k + " IS NOT OLD." + k);
        join(foreignCols, ", ", f);
        join(keyCols, ", ", k);
    }
    const std::string needParent = QuoteLiteral(Utf8(
        Describe("Impossibile aggiungere o modificare il record: la tabella '", Quote(rel.table),
                 "' non contiene il record correlato richiesto dalla relazione '", Quote(rel.name), "'.")));
    const std::string hasChildren = QuoteLiteral(
        Utf8(Describe("Impossibile eliminare o modificare il record: la tabella '", Quote(rel.foreignTable),
                      "' contiene record correlati (relazione '", Quote(rel.name), "').")));
    const std::string parentMissing =
        "(" + notNull + ") AND NOT EXISTS (SELECT 1 FROM " + pt + " WHERE " + match + ")";
    const std::string childExists = "EXISTS (SELECT 1 FROM " + ft + " WHERE " + children + ")";
    std::string sql = "SAVEPOINT relation;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "ins") + " BEFORE INSERT ON " + ft + " WHEN " +
           parentMissing + " BEGIN SELECT RAISE(ABORT, " + needParent + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "upd") + " BEFORE UPDATE OF " + foreignCols +
           " ON " + ft + " WHEN " + parentMissing + " BEGIN SELECT RAISE(ABORT, " + needParent + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "del") + " BEFORE DELETE ON " + pt + " WHEN " +
           childExists + " BEGIN SELECT RAISE(ABORT, " + hasChildren + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "key") + " BEFORE UPDATE OF " + keyCols +
           " ON " + pt + " WHEN (" + keyChanged + ") AND " + childExists + " BEGIN SELECT RAISE(ABORT, " +
           hasChildren + "); END;\n";
    // Rows already present must respect the relation.
    std::string orphans = "SELECT 1 FROM " + ft + " WHERE (" + notNull + ") AND NOT EXISTS (SELECT 1 FROM " +
                          pt + " WHERE " + match + ") LIMIT 1";
    for (const auto& [key, foreign] : rel.fields) {
        const std::string needle = "NEW." + QuoteIdentifier(Utf8(foreign));
        for (std::size_t p = orphans.find(needle); p != std::string::npos; p = orphans.find(needle)) {
            orphans.replace(p, 4, ft + ".");
        }
    }
    Stmt check(db_, orphans);
    if (check.prepared() && check.Step() == SQLITE_ROW) {
        return refuse("la tabella '", Quote(rel.foreignTable), "' contiene record senza corrispondenza in '",
                      Quote(rel.table), "'.");
    }
    check = Stmt();
    Status s = Exec(sql + "RELEASE relation;");
    if (!s) {
        (void)Exec("ROLLBACK TO relation; RELEASE relation;");
    }
    return s;
}

// ---------------------------------------------------------------------------------------------------
// Cursors and queries

Result<std::unique_ptr<TableCursor>> Database::OpenTable(std::string_view table) {
    auto fields = Fields(table);
    if (!fields) {
        return fields.status();
    }
    return std::unique_ptr<TableCursor>(new TableCursor(*this, std::string(table), std::move(*fields)));
}

Result<std::unique_ptr<QueryDef>> Database::CreateQuery(std::string_view sql) {
    const std::string utf8 = Utf8(TranslateSql(sql));
    Stmt st(db_, utf8);
    if (!st.prepared()) {
        if (st.rc() == SQLITE_OK) {  // nothing but blanks or comments
            return Status::Error(It("L'istruzione SQL è vuota."));
        }
        return Failure(db_, st.rc());
    }
    if (sqlite3_stmt_readonly(st.get()) == 0) {
        return Status::Error(It("L'istruzione SQL di una selezione non può modificare il database."));
    }
    return std::unique_ptr<QueryDef>(new QueryDef(*this, std::move(st), utf8));
}

}  // namespace engine
