#include "engine/Sqlite.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "engine/FileSystem.h"
#include "engine/Messages.h"

namespace engine::detail {
namespace {

// The program never asks SQLite how much memory it holds: its allocations need not be counted, each
// under a lock of its own. Set before SQLite starts, as the program starts.
[[maybe_unused]] const int kMemoryNotCounted = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

std::string FromUtf8(std::string_view utf8) {
    return text::Utf8ToCp1252Lossy(utf8);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// "t.c1, t.c2" -> table "t", columns "c1, c2"
void SplitColumns(std::string_view list, std::string& table, std::string& columns) {
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t end = list.find(", ", pos);
        if (end == std::string_view::npos) {
            end = list.size();
        }
        const std::string_view item = list.substr(pos, end - pos);
        const std::size_t dot = item.find('.');
        table = std::string(item.substr(0, dot == std::string_view::npos ? 0 : dot));
        if (!columns.empty()) {
            columns += ", ";
        }
        columns += std::string(dot == std::string_view::npos ? item : item.substr(dot + 1));
        pos = end + 2;
    }
}

// The system's error numbers for a disk with no room left.
bool IsDiskFull(int systemError) {
#ifdef _WIN32
    return systemError == 112 /* ERROR_DISK_FULL */ || systemError == 39 /* ERROR_HANDLE_DISK_FULL */;
#else
    return systemError == ENOSPC || systemError == EDQUOT;
#endif
}

Status ConstraintFailure(std::string_view message, int extended) {
    constexpr std::string_view kNotNull = "NOT NULL constraint failed: ";
    constexpr std::string_view kUnique = "UNIQUE constraint failed: ";
    constexpr std::string_view kCheck = "CHECK constraint failed: ";
    if (extended == SQLITE_CONSTRAINT_NOTNULL && StartsWith(message, kNotNull)) {
        return NullRefused(FromUtf8(message.substr(kNotNull.size())));
    }
    if ((extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY) &&
        StartsWith(message, kUnique)) {
        std::string table, columns;
        SplitColumns(message.substr(kUnique.size()), table, columns);
        return Status::Error(Describe("Valore duplicato: la tabella '", Quote(FromUtf8(table)),
                                      "' contiene già un record con lo stesso valore in '",
                                      Quote(FromUtf8(columns)),
                                      "', che l'indice univoco non consente di ripetere."));
    }
    if (extended == SQLITE_CONSTRAINT_CHECK && StartsWith(message, kCheck)) {
        const std::string name = FromUtf8(message.substr(kCheck.size()));
        const std::size_t colon = name.find(':');
        const std::string field = name.substr(0, colon);
        const std::string kind = colon == std::string::npos ? "" : name.substr(colon + 1);
        if (kind == "vuoto") {
            return Status::Error(Describe("Il campo '", Quote(field),
                                          "' non può contenere un testo vuoto: immettere un valore."));
        }
        if (kind == "lunghezza") {
            return Status::Error(
                Describe("Il testo del campo '", Quote(field), "' supera la lunghezza consentita."));
        }
        if (kind == "intervallo") {
            return Status::Error(
                Describe("Il valore del campo '", Quote(field), "' è fuori dall'intervallo consentito."));
        }
        if (StartsWith(kind, "regola:")) {
            const std::string validationText = kind.substr(7);
            if (!validationText.empty()) {
                return Status::Error(validationText);
            }
            return Status::Error(
                Describe("Il valore del campo '", Quote(field),
                         "' non è consentito dalla regola di convalida impostata per il campo."));
        }
    }
    if (extended == SQLITE_CONSTRAINT_COMMITHOOK) {
        return Status::Error(text::Utf8ToCp1252Lossy(
            "La transazione era già stata annullata da un errore precedente: la modifica "
            "non è stata salvata."));
    }
    if (extended == SQLITE_CONSTRAINT_TRIGGER) {  // relations raise descriptions of their own
        return Status::Error(FromUtf8(message));
    }
    return Status::Error(Describe("Il record viola un vincolo del database (", Quote(FromUtf8(message)),
                                  ") e non è stato salvato."));
}

Status GeneralError(std::string_view message) {
    struct Pattern {
        std::string_view prefix;
        const char* before;
        const char* after;
    };
    static constexpr Pattern kPatterns[] = {
        {"no such table: ", "La tabella '", "' non esiste."},
        {"no such column: ", "Il campo '", "' non esiste."},
        {"ambiguous column name: ", "Il nome di campo '", "' è ambiguo: precisare la tabella."},
        {"no such function: ", "La funzione '", "' non esiste."},
        {"no such index: ", "L'indice '", "' non esiste."},
    };
    for (const Pattern& p : kPatterns) {
        if (StartsWith(message, p.prefix)) {
            return Status::Error(
                Describe(p.before, Quote(FromUtf8(message.substr(p.prefix.size()))), p.after));
        }
    }
    if (StartsWith(message, "near \"")) {
        const std::size_t end = message.find("\": syntax error");
        if (end != std::string_view::npos) {
            return Status::Error(Describe("Errore di sintassi nell'istruzione SQL vicino a '",
                                          Quote(FromUtf8(message.substr(6, end - 6))), "'."));
        }
    }
    if (message == "incomplete input") {
        return Status::Error(text::Utf8ToCp1252Lossy("Istruzione SQL incompleta."));
    }
    if (StartsWith(message, "table ") && message.ends_with(" already exists")) {
        return Status::Error(Describe("La tabella '", Quote(FromUtf8(message.substr(6, message.size() - 21))),
                                      "' esiste già."));
    }
    return Status::Error(Describe("Errore del motore di database: ", Quote(FromUtf8(message)), "."));
}

}  // namespace

Stmt::Stmt(sqlite3* db, const std::string& utf8Sql) {
    rc_ = sqlite3_prepare_v2(db, utf8Sql.c_str(), static_cast<int>(utf8Sql.size()), &stmt_, nullptr);
    if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Stmt& Stmt::operator=(Stmt&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        rc_ = other.rc_;
        other.stmt_ = nullptr;
    }
    return *this;
}

void Stmt::BindText(int index, std::string_view utf8) {
    sqlite3_bind_text(stmt_, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void Stmt::BindValue(int index, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            sqlite3_bind_null(stmt_, index);
            break;
        case Value::Kind::Boolean:
            sqlite3_bind_int(stmt_, index, v.AsInt() != 0 ? 1 : 0);
            break;
        case Value::Kind::Byte:
        case Value::Kind::Integer:
        case Value::Kind::Long:
        case Value::Kind::Currency:
            sqlite3_bind_int64(stmt_, index, v.AsInt());
            break;
        case Value::Kind::Single:
        case Value::Kind::Double:
            sqlite3_bind_double(stmt_, index, v.AsReal());
            break;
        case Value::Kind::Date: {
            const DateTime& d = v.AsDate();
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                          d.hour, d.minute, d.second);
            BindText(index, buffer);
            break;
        }
        case Value::Kind::Text:
        case Value::Kind::Memo:
            if (IsAscii(v.AsBytes())) {
                const std::string& bytes = v.AsBytes();
                if (bytes.find('\0') == std::string::npos) {
                    // Given with its terminator, the copy SQLite makes needs no second allocation to
                    // add one.
                    sqlite3_bind_text(stmt_, index, bytes.c_str(), -1, SQLITE_TRANSIENT);
                } else {
                    BindText(index, bytes);
                }
            } else {
                BindText(index, text::Cp1252ToUtf8(v.AsBytes()));
            }
            break;
        case Value::Kind::LongBinary:
            sqlite3_bind_blob(stmt_, index, v.AsBytes().data(), static_cast<int>(v.AsBytes().size()),
                              SQLITE_TRANSIENT);
            break;
    }
}

std::string Stmt::ColumnText(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}

Status CheckCensusTables(sqlite3* db, std::string_view path) {
    static constexpr const char* kTables[] = {"tavole", "campi",  "indici", "indici2", "relaz",   "relaz2",
                                              "utenti", "master", "regazi", "regcom",  "depositi"};
    for (const char* table : kTables) {
        Stmt exists(db, std::string("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '") + table +
                            "' COLLATE NOCASE");
        const int rc = exists.prepared() ? exists.Step() : sqlite3_errcode(db);
        if (rc == SQLITE_DONE) {
            return Status::Error(Describe("Il file '", Quote(path),
                                          "' non è un database del censimento completo: manca la tabella '",
                                          Quote(table), "'."));
        }
        if (rc != SQLITE_ROW) {
            return Failure(db, rc);
        }
    }
    return Status::Ok();
}

// Why the census at `path` cannot be written: the file itself, or the folder or medium it lies on,
// where SQLite must make the companions of a file it writes.
Status Unwritable(const std::filesystem::path& path) {
    std::error_code ec;
    const std::string shown = files::ShownPath(path);
    const auto perms = std::filesystem::status(path, ec).permissions();
    if (!ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        return Status::Error(Describe("Il file '", Quote(shown),
                                      "' è di sola lettura: non si hanno i permessi per modificarlo."));
    }
    return Status::Error(
        Describe("Il file '", Quote(shown),
                 "' si trova in una cartella o su un supporto in cui non si può scrivere: il "
                 "censimento si può consultare, non modificare."));
}

Status NewerLayout(std::string_view path) {
    return Status::Error(Describe("Il file '", Quote(path),
                                  "' è di una versione più recente del programma, che questa non sa leggere: "
                                  "aggiornare Velumbra per aprirlo."));
}

Status CheckIntact(sqlite3* db, std::string_view path) {
    bool judged = false;
    return CheckIntact(db, path, judged);
}

Status CheckIntact(sqlite3* db, std::string_view path, bool& judged) {
    Stmt check(db, "PRAGMA quick_check(1)");
    const int rc = check.prepared() ? check.Step() : sqlite3_errcode(db);
    judged = rc == SQLITE_ROW || (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
    if (rc == SQLITE_ROW && check.ColumnText(0) == "ok") {
        return Status::Ok();
    }
    if (judged) {
        return Status::Error(
            Describe("Il database '", Quote(path),
                     "' è danneggiato: occorre ripararlo con il comando Ripara prima di usarlo."));
    }
    return Failure(db, rc);
}

namespace {

// The Italian description of SQLite's failure `rc` on `db`.
Status FailureText(sqlite3* db, int rc) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const std::string_view message = text ? text : "";
    switch (rc & 0xFF) {
        case SQLITE_CONSTRAINT:
            return ConstraintFailure(message, extended);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return Status::Error(text::Utf8ToCp1252Lossy(
                "Il database è bloccato da un altro utente o programma: riprovare più tardi."));
        case SQLITE_NOTADB:
            return Status::Error(text::Utf8ToCp1252Lossy("Il file non è un database riconoscibile."));
        case SQLITE_CORRUPT:
            return Status::Error(text::Utf8ToCp1252Lossy("Il database è danneggiato: occorre ripararlo."));
        case SQLITE_READONLY:
            return Status::Error(
                text::Utf8ToCp1252Lossy("Il database è di sola lettura: impossibile modificarlo."));
        case SQLITE_FULL:
            return Status::Error(
                text::Utf8ToCp1252Lossy("Il disco è pieno: impossibile scrivere nel database."));
        case SQLITE_IOERR:
            // A file that cannot grow (its log's index, a journal) is a full disk, whatever the call.
            if (db && IsDiskFull(sqlite3_system_errno(db))) {
                return Status::Error(
                    text::Utf8ToCp1252Lossy("Il disco è pieno: impossibile scrivere nel database."));
            }
            return Status::Error(text::Utf8ToCp1252Lossy("Errore di lettura o di scrittura sul disco."));
        case SQLITE_CANTOPEN:
            return Status::Error(text::Utf8ToCp1252Lossy("Impossibile aprire il file del database."));
        case SQLITE_NOMEM:
            return Status::Error(text::Utf8ToCp1252Lossy("Memoria insufficiente."));
        case SQLITE_TOOBIG:
            return Status::Error(text::Utf8ToCp1252Lossy("Il valore è troppo grande per essere salvato."));
        default:
            return GeneralError(message);
    }
}

}  // namespace

Status Failure(sqlite3* db, int rc) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const Status described = FailureText(db, rc);
    return Status::Error(described.description(), (extended & 0xFF) == (rc & 0xFF) ? extended : rc);
}

std::string DeclaredType(FieldType type, int size) {
    switch (type) {
        case FieldType::Boolean:
            return "BOOLEAN";
        case FieldType::Byte:
            return "TINYINT";
        case FieldType::Integer:
            return "SMALLINT";
        case FieldType::Long:
            return "INTEGER";
        case FieldType::Currency:
            return "CURRENCY";
        case FieldType::Single:
            return "REAL";
        case FieldType::Double:
            return "DOUBLE";
        case FieldType::Date:
            return "DATETIME";
        case FieldType::Text:
            return "VARCHAR(" + std::to_string(size) + ")";
        case FieldType::Memo:
            return "TEXT";
        case FieldType::LongBinary:
            return "BLOB";
    }
    return "BLOB";
}

bool ParseDeclaredType(std::string_view declared, FieldType& type, int& size) {
    std::string upper;
    for (const char c : declared) {
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    size = 0;
    struct Known {
        std::string_view name;
        FieldType type;
    };
    static constexpr Known kKnown[] = {
        {"BOOLEAN", FieldType::Boolean}, {"TINYINT", FieldType::Byte},      {"SMALLINT", FieldType::Integer},
        {"INTEGER", FieldType::Long},    {"CURRENCY", FieldType::Currency}, {"REAL", FieldType::Single},
        {"DOUBLE", FieldType::Double},   {"DATETIME", FieldType::Date},     {"TEXT", FieldType::Memo},
        {"BLOB", FieldType::LongBinary},
    };
    for (const Known& k : kKnown) {
        if (upper == k.name) {
            type = k.type;
            return true;
        }
    }
    if (upper.starts_with("VARCHAR(") && upper.ends_with(")")) {
        type = FieldType::Text;
        size = text::ReadInt(std::string_view(upper).substr(8));
        return true;
    }
    return false;
}

FieldType NaturalType(sqlite3_value* stored) {
    switch (sqlite3_value_type(stored)) {
        case SQLITE_INTEGER:
            return FieldType::Long;
        case SQLITE_FLOAT:
            return FieldType::Double;
        case SQLITE_BLOB:
            return FieldType::LongBinary;
        default:
            return FieldType::Memo;
    }
}

void ViewStored(sqlite3_value* stored, FieldType type, std::string& scratch, FieldView& out) {
    out = FieldView{};
    const int storage = sqlite3_value_type(stored);
    if (storage == SQLITE_NULL) {
        out.kind = Value::Kind::Null;
        return;
    }
    const auto integer = [&out](Value::Kind kind, std::int64_t v) {
        out.kind = kind;
        out.integer = v;
    };
    const auto real = [&out](Value::Kind kind, double v) {
        out.kind = kind;
        out.real = v;
    };
    switch (type) {
        case FieldType::Boolean:
            integer(Value::Kind::Boolean, sqlite3_value_int64(stored) != 0 ? -1 : 0);
            return;
        case FieldType::Byte:
            integer(Value::Kind::Byte, static_cast<std::uint8_t>(sqlite3_value_int64(stored)));
            return;
        case FieldType::Integer:
            integer(Value::Kind::Integer, static_cast<std::int16_t>(sqlite3_value_int64(stored)));
            return;
        case FieldType::Long:
            if (storage == SQLITE_INTEGER) {
                const std::int64_t v = sqlite3_value_int64(stored);
                if (v >= INT32_MIN && v <= INT32_MAX) {
                    integer(Value::Kind::Long, v);
                } else {
                    real(Value::Kind::Double,
                         static_cast<double>(v));  // a wide count of a query, kept exact enough
                }
                return;
            }
            integer(Value::Kind::Long, static_cast<std::int32_t>(sqlite3_value_int64(stored)));
            return;
        case FieldType::Currency:
            integer(Value::Kind::Currency, sqlite3_value_int64(stored));
            return;
        case FieldType::Single:
            real(Value::Kind::Single, static_cast<float>(sqlite3_value_double(stored)));
            return;
        case FieldType::Double:
            real(Value::Kind::Double, sqlite3_value_double(stored));
            return;
        case FieldType::Date: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(stored));
            out.kind = Value::Kind::Date;
            if (!p || !ParseDate(p, out.date)) {
                out.date = DateTime{};  // unreadable: year 0
            }
            return;
        }
        case FieldType::Text:
        case FieldType::Memo: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(stored));
            const std::string_view utf8(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(stored)));
            out.kind = type == FieldType::Text ? Value::Kind::Text : Value::Kind::Memo;
            if (IsAscii(utf8)) {
                out.bytes = utf8;
            } else {
                scratch = text::Utf8ToCp1252Lossy(utf8);
                out.bytes = scratch;
            }
            return;
        }
        case FieldType::LongBinary: {
            const void* p = sqlite3_value_blob(stored);
            out.kind = Value::Kind::LongBinary;
            if (p) {
                out.bytes = std::string_view(static_cast<const char*>(p),
                                             static_cast<std::size_t>(sqlite3_value_bytes(stored)));
            }
            return;
        }
    }
    out.kind = Value::Kind::Null;
}

Value ReadValue(sqlite3_value* stored, FieldType type) {
    Value value;
    ReadValueInto(stored, type, value);
    return value;
}

void ReadValueInto(sqlite3_value* stored, FieldType type, Value& out) {
    std::string scratch;
    FieldView view;
    ViewStored(stored, type, scratch, view);
    out.Assign(view);
}

std::string Utf8(std::string_view cp1252) {
    return text::Cp1252ToUtf8(cp1252);
}

}  // namespace engine::detail
