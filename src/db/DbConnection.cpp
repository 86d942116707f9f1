#include "db/DbConnection.h"

#include "db/TextForms.h"

namespace db {

void ShowDatabaseError(ui::Port& port, const std::string& prefix, const std::string& description) {
    port.ShowMessage(prefix + description, ui::kProgramCaption, ui::Icon::Stop);
}

CDbConnection::CDbConnection(ui::Port& port, const std::string& path) : port_(port) {
    open_ = 1;
    if (!path.empty()) {
        path_ = path;
    }
    auto opened = engine::Database::Open(path);
    if (!opened) {
        open_ = 0;
        ShowDatabaseError(port_, "Errore in fase di apertura del database\n\n", opened.description());
        return;
    }
    database_ = std::move(*opened);
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

int CDbConnection::Transaction(engine::Status (engine::Database::*operation)(), const char* prefix) {
    if (!database_ || open_ != 1) {
        return 0;
    }
    engine::Status s = (database_.get()->*operation)();
    if (!s) {
        ShowDatabaseError(port_, prefix, s.description());
        return 0;
    }
    return 1;
}

int CDbConnection::BeginTransaction() {
    return Transaction(&engine::Database::BeginTransaction, "Errore in fase di avvio della transazione\n\n");
}

int CDbConnection::CommitTransaction() {
    return Transaction(&engine::Database::CommitTransaction, "Errore in fase di convalida della transazione\n\n");
}

int CDbConnection::RollbackTransaction() {
    return Transaction(&engine::Database::RollbackTransaction, "Errore in fase di ripristino della transazione\n\n");
}

int CDbConnection::ValueToText(const engine::Value& value, std::string& buffer) const {
    buffer = db::ValueToText(value);
    return 1;
}

int CDbConnection::ValueToTextWithBlob(const engine::Value& value, std::string& buffer) const {
    buffer = db::ValueToTextWithBlob(value);
    return 1;
}

}  // namespace db
