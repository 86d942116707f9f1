// One open census database. Every failure is shown to the person through the port where it happens;
// the caller learns of it from the result or from the open flag.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/Database.h"
#include "ui/Outcome.h"
#include "ui/Port.h"

namespace db {

class CDbConnection {
  public:
    // Opens the database at `path` (shared, read-write). Test IsOpen() afterwards. A file that lacks
    // any census table is refused, unless `contents` asks for less.
    CDbConnection(ui::Port& port, const std::filesystem::path& path,
                  engine::Database::Contents contents = engine::Database::Contents::WholeCensus,
                  engine::Database::Access access = engine::Database::Access::ReadWrite);
    // A connection through a database handle that stays the caller's (the creation handle of a new
    // file): one handle, so that tables it creates are seen at once. It is not closed here.
    CDbConnection(ui::Port& port, engine::Database& borrowed);
    ~CDbConnection();
    CDbConnection(const CDbConnection&) = delete;
    CDbConnection& operator=(const CDbConnection&) = delete;

    int IsOpen() const { return open_; }
    // The path given at construction; nothing when it was empty.
    const std::optional<std::filesystem::path>& Path() const { return path_; }

    // Each shows its own failure and leaves the connection as it was. Callers hold a CDbTransaction
    // rather than calling these directly.
    ui::Outcome BeginTransaction();
    ui::Outcome CommitTransaction();
    ui::Outcome RollbackTransaction();
    // Whether the engine still has a transaction at `level` (1 the outermost): a failed write may
    // have ended it already.
    bool InTransactionAt(int level) const;
    int TransactionDepth() const;

    // Whether the whole file reads as sound; a damaged one is shown as a failure to open it, so that
    // nothing is read from it in part.
    ui::Outcome CheckIntact();
    // The verdict of that check made apart (engine::Database::CheckIntactApart), said as CheckIntact
    // says it.
    ui::Outcome Intact(const engine::Status& verdict);

    ui::Port& Port() const { return port_; }
    // The engine's database, or nothing when the open failed.
    engine::Database* Database() const { return borrowed_ ? borrowed_ : database_.get(); }

  private:
    ui::Outcome Transaction(engine::Status (engine::Database::*operation)(), const char* prefix);

    ui::Port& port_;
    std::unique_ptr<engine::Database> database_;
    engine::Database* borrowed_ = nullptr;
    std::optional<std::filesystem::path> path_;
    int open_ = 0;
};

// A transaction on an open connection: begun when constructed, rolled back when destroyed unless it
// was committed. Each step shows its own failure. A transaction that the engine has already ended
// (a failed write rolls everything back) is not rolled back again, and nothing more is shown for it.
class CDbTransaction {
  public:
    explicit CDbTransaction(CDbConnection& connection);
    ~CDbTransaction();
    CDbTransaction(const CDbTransaction&) = delete;
    CDbTransaction& operator=(const CDbTransaction&) = delete;

    // Whether the transaction began and is still in progress.
    [[nodiscard]] bool IsActive() const;
    // Makes the changes permanent. A commit that fails leaves the transaction as it was, when the
    // engine has not ended it: it may be tried again, or withdrawn.
    ui::Outcome Commit();
    // Withdraws the changes.
    ui::Outcome Rollback();

  private:
    CDbConnection& connection_;
    int level_ = 0;  // the engine's depth that this transaction holds; 0 when not in progress
};

// Shows a database failure: the prefix, then the engine's description, with the stop icon.
void ShowDatabaseError(ui::Port& port, const std::string& prefix, const std::string& description);
// The result of a step the engine failed: its code and its description go with it.
inline ui::Outcome FailedWith(const engine::Status& status) {
    return ui::Outcome::Failed(status.code(), status.description());
}

}  // namespace db
