// Internal to the engine: a prepared statement owned by RAII, the mapping of SQLite's failures to
// Italian descriptions, and the storage form of typed values.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/Status.h"
#include "engine/Value.h"

namespace engine::detail {

// How long a handle waits for another's lock before it says the file is locked.
inline constexpr int kBusyTimeoutMs = 5000;

class Stmt {
  public:
    Stmt() = default;
    Stmt(sqlite3* db, const std::string& utf8Sql);
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(Stmt&& other) noexcept : stmt_(other.stmt_), rc_(other.rc_) { other.stmt_ = nullptr; }
    Stmt& operator=(Stmt&& other) noexcept;
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool prepared() const { return stmt_ != nullptr; }
    int rc() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }

    void BindText(int index, std::string_view utf8);
    void BindInt(int index, std::int64_t v) { sqlite3_bind_int64(stmt_, index, v); }
    // Binds a typed value in its storage form.
    void BindValue(int index, const Value& v);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return rc_ = sqlite3_step(stmt_); }
    void Reset() { sqlite3_reset(stmt_); }
    std::string ColumnText(int col) const;  // UTF-8
    std::int64_t ColumnInt(int col) const { return sqlite3_column_int64(stmt_, col); }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// The Italian description of SQLite's latest failure on `db` (result code `rc`).
Status Failure(sqlite3* db, int rc);

// Declared column types and their field types.
std::string DeclaredType(FieldType type, int size);
bool ParseDeclaredType(std::string_view declared, FieldType& type, int& size);

// A stored value read back as the field type.
Value ReadValue(sqlite3_value* stored, FieldType type);
// The same, made into `out` reusing the storage of its bytes.
void ReadValueInto(sqlite3_value* stored, FieldType type, Value& out);
// The same read in place: the bytes are SQLite's own (valid until the value changes) or, for a text
// that is not plain ASCII, its Windows-1252 form made into `scratch`.
void ViewStored(sqlite3_value* stored, FieldType type, std::string& scratch, FieldView& out);
// The field type for a value whose column has no declared type (an expression of a query).
FieldType NaturalType(sqlite3_value* stored);

// Refuses a file whose schema lacks one of the census tables (the dictionary's seven and the four
// of the application), with a description that names the missing table. A failure to read the schema
// is returned as SQLite reported it.
Status CheckCensusTables(sqlite3* db, std::string_view path);

// Removes what killed commands left in `folder`: files being written by processes that no longer run
// (files::RemoveAbandonedBuilds), and a file being rebuilt or a blank census that its repair no
// longer holds.
void RemoveAbandonedFiles(const std::filesystem::path& folder);

// Why the census at `path` cannot be written: the file itself, or the folder or medium it lies on,
// where SQLite must make the companions of a file it writes.
Status Unwritable(const std::filesystem::path& path);

// The refusal of a census written by a later version of the program (a layout version above the
// one this program knows), which may hold what this one cannot keep.
Status NewerLayout(std::string_view path);

// Reads every page of `db`'s file (SQLite's quick check); a damaged file is refused with a description
// that names `path` (Windows-1252) and says how to mend it.
Status CheckIntact(sqlite3* db, std::string_view path);
// The same; `judged` tells whether the file was read at all (a verdict of sound or damaged) rather
// than the check itself failing.
Status CheckIntact(sqlite3* db, std::string_view path, bool& judged);

// Locale strings have the form ";LANGID=0x0409;CP=1252;COUNTRY=0"; only code page 1252 is kept.
bool IsSupportedLocale(std::string_view locale);

// True when every byte is below 0x80: such a text is the same in Windows-1252 and in UTF-8.
inline bool IsAscii(std::string_view s) {
    unsigned char any = 0;
    for (const char c : s) {
        any |= static_cast<unsigned char>(c);
    }
    return any < 0x80;
}

// A Windows-1252 text as the UTF-8 text SQLite takes.
std::string Utf8(std::string_view cp1252);

}  // namespace engine::detail
