// libFuzzer target of the repair: each input damages a real census (40 structures, made once at start
// in a folder of its own) and the damaged file is repaired as the program's "Ripara" does it, with the
// blank census it may rebuild into copied from one made at start. The input
// is read as 4-byte changes: a 3-byte offset into the file (little-endian, wrapped to its size) and a
// byte XORed into it, 0 standing for a whole page overwritten with the offset's low byte.
//
// Besides the sanitizers, a broken promise aborts: a repair that says it rebuilt the census must leave
// a census at its name holding every structure a plain read of the damaged file saw, and the damaged
// file kept byte for byte; one that fails must leave the damaged file at its name as it was; either
// way nothing else of the repair may stay in the folder.

#include <sqlite3.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "app/Maintenance.h"
#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

namespace {

std::filesystem::path g_folder;
std::string g_census;  // the sound census's bytes
std::string g_blank;   // a blank census's bytes

[[noreturn]] void Broken(const char* what, const std::string& detail = "") {
    std::fprintf(stderr, "repair property broken: %s %s\n", what, detail.c_str());
    std::abort();
}

std::string Bytes(const std::filesystem::path& file) {
    std::ostringstream out;
    out << std::ifstream(file, std::ios::binary).rdbuf();
    return out.str();
}

void Write(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        Broken("cannot write", file.string());
    }
}

// The rows of `table` that a plain read sees, up to the first it cannot read; -1 when the file does not
// open.
long long PlainRows(const std::filesystem::path& file, const char* table) {
    sqlite3* db = nullptr;
    long long rows = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        rows = 0;
        sqlite3_exec(db, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = std::string("SELECT rowid FROM ") + table + " NOT INDEXED";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                ++rows;
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

void Clear() {
    for (const auto& entry : std::filesystem::directory_iterator(g_folder)) {
        std::filesystem::remove_all(entry.path());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velumbra-repair-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        Broken("cannot make the folder", pattern);
    }
    g_folder = pattern;
    const std::filesystem::path census = g_folder / "censimento.MDB";
    ui::ScriptedPort port;
    if (!schema::CreateCensusDatabase(port, census.string(), "")) {
        Broken("cannot create the census");
    }
    // Forty structures with every column filled, the settings row naming a company.
    sqlite3* db = nullptr;
    sqlite3_open(census.c_str(), &db);
    std::string columns, values;
    sqlite3_stmt* info = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info('depositi')", -1, &info, nullptr);
    while (sqlite3_step(info) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
        const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
        std::string value = name == "ID" ? "i" : type == "BOOLEAN" ? "i % 2" : "i % 100";
        if (type.starts_with("VARCHAR(")) {
            value = "substr('S' || i || ' " + name + "', 1, " + type.substr(8, type.size() - 9) + ")";
        }
        columns += (columns.empty() ? "\"" : ", \"") + name + "\"";
        values += (values.empty() ? "" : ", ") + value;
    }
    sqlite3_finalize(info);
    const std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
        "INSERT INTO depositi (" +
        columns + ") SELECT " + values +
        " FROM n; UPDATE master SET azienda = 12, id_depo = 41; PRAGMA wal_checkpoint(TRUNCATE)";
    if (sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Broken("cannot fill the census", sqlite3_errmsg(db));
    }
    sqlite3_close(db);
    g_census = Bytes(census);
    // The blank census a repair may rebuild into, made as the program makes it, once.
    if (!schema::CreateCensusDatabase(port, (g_folder / "vuoto.MDB").string(), "")) {
        Broken("cannot create the blank census");
    }
    g_blank = Bytes(g_folder / "vuoto.MDB");
    Clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string damaged = g_census;
    constexpr std::size_t kPage = 4096;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const std::size_t offset = (data[i] | data[i + 1] << 8 | data[i + 2] << 16) % damaged.size();
        if (data[i + 3] != 0) {
            damaged[offset] = static_cast<char>(damaged[offset] ^ data[i + 3]);
        } else {
            damaged.replace(offset / kPage * kPage, kPage, kPage, static_cast<char>(data[i]));
        }
    }
    const std::filesystem::path census = g_folder / "censimento.MDB";
    const std::filesystem::path kept = g_folder / "censimento.danneggiato.MDB";
    Write(census, damaged);
    // VELUMBRA_REPAIR_FUZZ_KEEP names a file that receives the damaged census, to look at a failing input.
    if (const char* keep = std::getenv("VELUMBRA_REPAIR_FUZZ_KEEP"); keep && *keep) {
        Write(keep, damaged);
    }
    const long long seen = PlainRows(census, "depositi");
    std::filesystem::remove(g_folder / "censimento.MDB-journal");  // what the plain read may leave
    std::filesystem::remove(g_folder / "censimento.MDB-wal");
    std::filesystem::remove(g_folder / "censimento.MDB-shm");
    Write(census, damaged);

    ui::ScriptedPort port;
    const bool done = app::RepairDatabaseAt(port, census.string(), [](const std::string& blank) {
                          Write(blank, g_blank);
                          return engine::Status::Ok();
                      }).done();
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(g_folder)) {
        (void)entry;
        ++files;
    }
    if (done) {
        const bool rebuilt = std::filesystem::exists(kept);
        if (rebuilt && Bytes(kept) != damaged) {
            Broken("the damaged file was not kept as it was");
        }
        if (files != (rebuilt ? 2u : 1u)) {
            Broken("files left after a repair", std::to_string(files));
        }
        if (PlainRows(census, "depositi") < seen) {
            Broken("structures lost", std::to_string(seen));
        }
    } else {
        if (!std::filesystem::exists(census) || Bytes(census) != damaged) {
            Broken("a failed repair changed the damaged file");
        }
        if (files != 1) {
            Broken("files left after a failed repair", std::to_string(files));
        }
    }
    Clear();
    return 0;
}
