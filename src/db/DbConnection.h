// One open census database. Every failure is shown to the person through the port where it happens;
// the caller learns of it from the result or from the open flag.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/Database.h"
#include "ui/Port.h"

namespace db {

class CDbConnection {
  public:
    // Opens the database at `path` (shared, read-write). Test IsOpen() afterwards.
    CDbConnection(ui::Port& port, const std::string& path);
    ~CDbConnection();
    CDbConnection(const CDbConnection&) = delete;
    CDbConnection& operator=(const CDbConnection&) = delete;

    int IsOpen() const { return open_; }
    // The path given at construction; nothing when it was empty.
    const std::optional<std::string>& Path() const { return path_; }

    // Each shows its own failure; the result (1 done, 0 not) may be ignored.
    int BeginTransaction();
    int CommitTransaction();
    int RollbackTransaction();

    // The text forms of field values; both return 1.
    int ValueToText(const engine::Value& value, std::string& buffer) const;
    int ValueToTextWithBlob(const engine::Value& value, std::string& buffer) const;

    ui::Port& Port() const { return port_; }
    // The engine's database, or nothing when the open failed.
    engine::Database* Database() const { return database_.get(); }

  private:
    int Transaction(engine::Status (engine::Database::*operation)(), const char* prefix);

    ui::Port& port_;
    std::unique_ptr<engine::Database> database_;
    std::optional<std::string> path_;
    int open_ = 0;
};

// Shows a database failure: the prefix, then the engine's description, with the stop icon.
void ShowDatabaseError(ui::Port& port, const std::string& prefix, const std::string& description);

}  // namespace db
