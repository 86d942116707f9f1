// Internal to the engine: the raw pages of a database file as the eponymous, read-only virtual table
// `sqlite_dbpage`, which SQLite's recovery code reads. Debian's SQLite is built without its own.
#pragma once

struct sqlite3;
struct sqlite3_file;

namespace engine::detail {

// Registers `sqlite_dbpage(pgno, data, schema HIDDEN)` on `db`, unless SQLite already has one.
int RegisterDbPage(sqlite3* db);

}  // namespace engine::detail

namespace engine::detail {

// While it lives, reads of the first page of `db`'s main file see bytes 18 and 19 (the file format
// versions for writing and reading) as 1 when they hold no valid version, as in a header overwritten
// with garbage: SQLite would refuse such a file, and its recovery code keeps those two bytes from the
// disk when it repairs the rest of the header. Nothing is written to the file. One at a time in the
// process.
class FormatBytesGuard {
  public:
    explicit FormatBytesGuard(sqlite3* db);
    ~FormatBytesGuard();
    FormatBytesGuard(const FormatBytesGuard&) = delete;
    FormatBytesGuard& operator=(const FormatBytesGuard&) = delete;

  private:
    sqlite3_file* file_ = nullptr;
};

}  // namespace engine::detail
