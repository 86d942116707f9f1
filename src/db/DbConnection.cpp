#include "db/DbConnection.h"

namespace db {

void ShowDatabaseError(ui::Port& port, const std::string& prefix, const std::string& description) {
    port.ShowMessage(prefix + description, ui::kProgramCaption, ui::Icon::Stop);
}

CDbConnection::CDbConnection(ui::Port& port, const std::filesystem::path& path,
                             engine::Database::Contents contents, engine::Database::Access access)
    : port_(port) {
    open_ = 1;
    if (!path.empty()) {
        path_ = path;
    }
    auto opened = engine::Database::Open(path, contents, access);
    if (!opened) {
        open_ = 0;
        ShowDatabaseError(port_, "Errore in fase di apertura del database\n\n", opened.description());
        return;
    }
    database_ = std::move(*opened);
}

CDbConnection::CDbConnection(ui::Port& port, engine::Database& borrowed)
    : port_(port), borrowed_(&borrowed), open_(borrowed.IsOpen() ? 1 : 0) {
    path_ = borrowed.path();
}

CDbConnection::~CDbConnection() {
    if (database_ && open_ == 1) {
        engine::Status closed = database_->Close();
        if (!closed) {
            ShowDatabaseError(port_, "Errore in fase di sconnessione del data base\n\n",
                              closed.description());
        }
    }
    database_.reset();
    open_ = 0;
}

ui::Outcome CDbConnection::Transaction(engine::Status (engine::Database::*operation)(), const char* prefix) {
    if (!Database() || open_ != 1) {
        return ui::Outcome::Failed();
    }
    engine::Status s = (Database()->*operation)();
    if (!s) {
        ShowDatabaseError(port_, prefix, s.description());
        return FailedWith(s);
    }
    return ui::Outcome::Done();
}

int CDbConnection::TransactionDepth() const {
    return Database() && open_ == 1 ? Database()->TransactionDepth() : 0;
}

bool CDbConnection::InTransactionAt(int level) const {
    return level > 0 && TransactionDepth() >= level;
}

ui::Outcome CDbConnection::CheckIntact() {
    if (!Database()) {
        return ui::Outcome::Failed();
    }
    return Intact(Database()->CheckIntact());
}

ui::Outcome CDbConnection::Intact(const engine::Status& verdict) {
    if (!verdict) {
        ShowDatabaseError(port_, "Errore in fase di apertura del database\n\n", verdict.description());
        return FailedWith(verdict);
    }
    return ui::Outcome::Done();
}

ui::Outcome CDbConnection::BeginTransaction() {
    return Transaction(&engine::Database::BeginTransaction, "Errore in fase di avvio della transazione\n\n");
}

ui::Outcome CDbConnection::CommitTransaction() {
    return Transaction(&engine::Database::CommitTransaction,
                       "Errore in fase di convalida della transazione\n\n");
}

ui::Outcome CDbConnection::RollbackTransaction() {
    return Transaction(&engine::Database::RollbackTransaction,
                       "Errore in fase di ripristino della transazione\n\n");
}

CDbTransaction::CDbTransaction(CDbConnection& connection) : connection_(connection) {
    if (connection_.BeginTransaction()) {
        level_ = connection_.TransactionDepth();
    }
}

CDbTransaction::~CDbTransaction() {
    if (IsActive()) {
        // Its failure is shown by the connection; a destructor has nobody else to tell.
        connection_.RollbackTransaction().Ignore("shown already, and there is no caller to tell");
    }
}

bool CDbTransaction::IsActive() const {
    return connection_.InTransactionAt(level_);
}

ui::Outcome CDbTransaction::Commit() {
    if (!IsActive()) {
        // Ended already by the engine: whatever was written is gone, and the failure that ended it
        // has been shown.
        level_ = 0;
        return ui::Outcome::Failed();
    }
    const ui::Outcome committed = connection_.CommitTransaction();
    if (committed || !IsActive()) {
        level_ = 0;
    }
    // A commit that failed with the transaction still in progress (the database busy, the disk
    // full) leaves it as it was: the caller may try again, and destroying the object withdraws it.
    return committed;
}

ui::Outcome CDbTransaction::Rollback() {
    if (!IsActive()) {
        level_ = 0;
        return ui::Outcome::Done();  // nothing left to withdraw
    }
    const ui::Outcome rolledBack = connection_.RollbackTransaction();
    level_ = 0;
    return rolledBack;
}

}  // namespace db
