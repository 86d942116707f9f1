// The raw pages of a database file, read through the connection's own open file. Page size: the one
// the connection reads the file with (taken from the header, or the one SQLite's recovery code has
// detected and set when the header is damaged). Page count: the whole pages the file holds, so that a
// file whose header claims more pages than it holds ends where the file does.
#include "engine/DbPage.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace engine::detail {
namespace {

constexpr int kPgno = 0;
constexpr int kData = 1;
constexpr int kSchema = 2;

// idxNum bits: which arguments xFilter receives, in this order.
constexpr int kSchemaArgument = 1;
constexpr int kPgnoArgument = 2;

struct Table {
    sqlite3_vtab base{};
    sqlite3* db = nullptr;
};

struct Cursor {
    sqlite3_vtab_cursor base{};
    sqlite3_file* file = nullptr;
    int pageSize = 0;
    sqlite3_int64 pgno = 1;
    sqlite3_int64 last = 0;  // the last page to return
    std::string schema;
};

int Connect(sqlite3* db, void*, int, const char* const*, sqlite3_vtab** out, char**) {
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(pgno INTEGER, data BLOB, schema HIDDEN)");
    if (rc != SQLITE_OK) {
        return rc;
    }
    auto* table = new Table;
    table->db = db;
    *out = &table->base;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
    delete reinterpret_cast<Table*>(vtab);
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
    int schema = -1;
    int pgno = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.op != SQLITE_INDEX_CONSTRAINT_EQ) {
            continue;
        }
        if (c.iColumn == kSchema) {
            if (!c.usable) {
                return SQLITE_CONSTRAINT;  // the schema must be known before the scan starts
            }
            schema = i;
        } else if (c.iColumn == kPgno && c.usable) {
            pgno = i;
        }
    }
    int argument = 0;
    info->idxNum = 0;
    if (schema >= 0) {
        info->idxNum |= kSchemaArgument;
        info->aConstraintUsage[schema].argvIndex = ++argument;
        info->aConstraintUsage[schema].omit = 1;
    }
    if (pgno >= 0) {
        info->idxNum |= kPgnoArgument;
        info->aConstraintUsage[pgno].argvIndex = ++argument;
        info->aConstraintUsage[pgno].omit = 1;
        info->estimatedCost = 1.0;
        info->estimatedRows = 1;
        info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    } else {
        info->estimatedCost = 1.0e6;
    }
    if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn == kPgno && !info->aOrderBy[0].desc) {
        info->orderByConsumed = 1;
    }
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    auto* cursor = new Cursor;
    *out = &cursor->base;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* base) {
    delete reinterpret_cast<Cursor*>(base);
    return SQLITE_OK;
}

// The page size the connection uses for `schema`.
int PageSize(sqlite3* db, const std::string& schema) {
    char* sql = sqlite3_mprintf("PRAGMA %Q.page_size", schema.c_str());
    sqlite3_stmt* stmt = nullptr;
    int size = 0;
    if (sql && sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        size = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_free(sql);
    return size;
}

int Filter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc, sqlite3_value** argv) {
    auto* cursor = reinterpret_cast<Cursor*>(base);
    auto* table = reinterpret_cast<Table*>(base->pVtab);
    int argument = 0;
    cursor->schema = "main";
    if ((idxNum & kSchemaArgument) && argument < argc) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_value_text(argv[argument++]));
        if (name && *name) {
            cursor->schema = name;
        }
    }
    cursor->file = nullptr;
    if (sqlite3_file_control(table->db, cursor->schema.c_str(), SQLITE_FCNTL_FILE_POINTER, &cursor->file) !=
            SQLITE_OK ||
        !cursor->file || !cursor->file->pMethods) {
        sqlite3_free(table->base.zErrMsg);
        table->base.zErrMsg = sqlite3_mprintf("no such schema: %s", cursor->schema.c_str());
        return SQLITE_ERROR;
    }
    cursor->pageSize = PageSize(table->db, cursor->schema);
    sqlite3_int64 bytes = 0;
    if (cursor->pageSize < 512 || cursor->pageSize > 65536 ||
        cursor->file->pMethods->xFileSize(cursor->file, &bytes) != SQLITE_OK) {
        return SQLITE_IOERR;
    }
    // A page cut short by the end of the file is not given: what it holds ends mid-record.
    const sqlite3_int64 pages = bytes / cursor->pageSize;
    cursor->pgno = 1;
    cursor->last = pages;
    if ((idxNum & kPgnoArgument) && argument < argc) {
        const sqlite3_int64 pgno = sqlite3_value_int64(argv[argument]);
        cursor->pgno = pgno;
        cursor->last = pgno >= 1 && pgno <= pages ? pgno : 0;
        if (cursor->last == 0) {
            cursor->pgno = 1;
        }
    }
    return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
    ++reinterpret_cast<Cursor*>(base)->pgno;
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base) {
    const auto* cursor = reinterpret_cast<Cursor*>(base);
    return cursor->pgno > cursor->last;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
    auto* cursor = reinterpret_cast<Cursor*>(base);
    switch (column) {
        case kPgno:
            sqlite3_result_int64(context, cursor->pgno);
            return SQLITE_OK;
        case kData: {
            const auto size = static_cast<std::size_t>(cursor->pageSize);
            void* page = sqlite3_malloc64(size);
            if (!page) {
                sqlite3_result_error_nomem(context);
                return SQLITE_NOMEM;
            }
            const int rc = cursor->file->pMethods->xRead(cursor->file, page, cursor->pageSize,
                                                         (cursor->pgno - 1) * cursor->pageSize);
            if (rc != SQLITE_OK) {
                sqlite3_free(page);
                sqlite3_result_error_code(context, rc);
                return rc;
            }
            sqlite3_result_blob(context, page, cursor->pageSize, sqlite3_free);
            return SQLITE_OK;
        }
        default:
            sqlite3_result_text(context, cursor->schema.c_str(), -1, SQLITE_TRANSIENT);
            return SQLITE_OK;
    }
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
    *rowid = reinterpret_cast<Cursor*>(base)->pgno;
    return SQLITE_OK;
}

const sqlite3_module kModule = {
    /* iVersion */ 0,
    /* xCreate */ nullptr,  // eponymous only
    /* xConnect */ Connect,
    /* xBestIndex */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy */ nullptr,
    /* xOpen */ Open,
    /* xClose */ Close,
    /* xFilter */ Filter,
    /* xNext */ Next,
    /* xEof */ Eof,
    /* xColumn */ Column,
    /* xRowid */ Rowid,
    /* xUpdate */ nullptr,
    /* xBegin */ nullptr,
    /* xSync */ nullptr,
    /* xCommit */ nullptr,
    /* xRollback */ nullptr,
    /* xFindFunction */ nullptr,
    /* xRename */ nullptr,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

}  // namespace

int RegisterDbPage(sqlite3* db) {
    if (sqlite3_compileoption_used("ENABLE_DBPAGE_VTAB")) {
        return SQLITE_OK;
    }
    return sqlite3_create_module(db, "sqlite_dbpage", &kModule, nullptr);
}

namespace {

std::mutex guardMutex;
const sqlite3_io_methods* guarded = nullptr;  // the file's own methods, while a guard lives
sqlite3_io_methods guard{};

// Calls the file's own method with its own methods in place, as they may expect.
template <typename Call>
auto Forward(sqlite3_file* f, Call call) {
    const sqlite3_io_methods* mine = f->pMethods;
    f->pMethods = guarded;
    auto result = call(f);
    f->pMethods = mine;
    return result;
}

int GuardRead(sqlite3_file* f, void* buffer, int bytes, sqlite3_int64 offset) {
    const int rc = Forward(f, [&](sqlite3_file* g) { return g->pMethods->xRead(g, buffer, bytes, offset); });
    if ((rc == SQLITE_OK || rc == SQLITE_IOERR_SHORT_READ) && offset <= 18 && offset + bytes >= 20) {
        auto* p = static_cast<unsigned char*>(buffer) - offset;
        for (const int at : {18, 19}) {
            if (p[at] < 1 || p[at] > 2) {
                p[at] = 1;
            }
        }
    }
    return rc;
}

void InitGuard() {
    guard = *guarded;
    guard.iVersion = guarded->iVersion > 2 ? 2 : guarded->iVersion;  // no memory mapping
    guard.xClose = [](sqlite3_file* f) {
        return Forward(f, [](sqlite3_file* g) { return g->pMethods->xClose(g); });
    };
    guard.xRead = GuardRead;
    guard.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xWrite(g, b, n, o); });
    };
    guard.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xTruncate(g, n); });
    };
    guard.xSync = [](sqlite3_file* f, int flags) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xSync(g, flags); });
    };
    guard.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xFileSize(g, n); });
    };
    guard.xLock = [](sqlite3_file* f, int lock) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xLock(g, lock); });
    };
    guard.xUnlock = [](sqlite3_file* f, int lock) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xUnlock(g, lock); });
    };
    guard.xCheckReservedLock = [](sqlite3_file* f, int* out) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xCheckReservedLock(g, out); });
    };
    guard.xFileControl = [](sqlite3_file* f, int op, void* arg) {
        return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xFileControl(g, op, arg); });
    };
    guard.xSectorSize = [](sqlite3_file* f) {
        return Forward(f, [](sqlite3_file* g) { return g->pMethods->xSectorSize(g); });
    };
    guard.xDeviceCharacteristics = [](sqlite3_file* f) {
        return Forward(f, [](sqlite3_file* g) { return g->pMethods->xDeviceCharacteristics(g); });
    };
    if (guarded->iVersion >= 2 && guarded->xShmMap) {
        guard.xShmMap = [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
            return Forward(f,
                           [&](sqlite3_file* g) { return g->pMethods->xShmMap(g, page, size, extend, out); });
        };
        guard.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
            return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xShmLock(g, offset, n, flags); });
        };
        guard.xShmBarrier = [](sqlite3_file* f) {
            Forward(f, [](sqlite3_file* g) {
                g->pMethods->xShmBarrier(g);
                return 0;
            });
        };
        guard.xShmUnmap = [](sqlite3_file* f, int remove) {
            return Forward(f, [&](sqlite3_file* g) { return g->pMethods->xShmUnmap(g, remove); });
        };
    }
    guard.xFetch = nullptr;
    guard.xUnfetch = nullptr;
}

}  // namespace

FormatBytesGuard::FormatBytesGuard(sqlite3* db) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods) {
        return;
    }
    guardMutex.lock();
    guarded = file->pMethods;
    InitGuard();
    file->pMethods = &guard;
    file_ = file;
}

FormatBytesGuard::~FormatBytesGuard() {
    if (file_) {
        file_->pMethods = guarded;
        guarded = nullptr;
        guardMutex.unlock();
    }
}

}  // namespace engine::detail
