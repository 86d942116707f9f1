// What the main window owns: the path of the associated database and the one open connection. Every
// command reaches the database through it; the desktop and the command-line tool each hold one.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "db/DbConnection.h"
#include "ui/Port.h"

namespace app {

class Session {
  public:
    explicit Session(ui::Port& port) : port_(port) {}

    ui::Port& Port() const { return port_; }
    // The associated database; empty when there is none.
    const std::filesystem::path& Path() const { return path_; }
    void SetPath(std::filesystem::path path) { path_ = std::move(path); }
    // The open connection, or nothing.
    db::CDbConnection* Connection() const {
        return connection_ && connection_->IsOpen() ? connection_.get() : nullptr;
    }
    bool HasOpenDatabase() const { return Connection() != nullptr; }

    // Opens the associated database and makes sure the settings row of master exists: done when a
    // path was present, the database opened and its settings row is there. A database that cannot be
    // opened is forgotten; one whose master cannot be opened stays connected.
    // Read-only (for a command that changes nothing), a missing settings row is not added.
    ui::Outcome OpenAssociatedDatabase(engine::Database::Access access = engine::Database::Access::ReadWrite);
    // Closes the connection, if any; the path stays.
    void CloseConnection() { connection_.reset(); }

    // The main window's title: the working company and its name, or the program title when there is
    // no database or no settings row.
    std::string Title() const;

  private:
    ui::Port& port_;
    std::filesystem::path path_;
    std::unique_ptr<db::CDbConnection> connection_;
};

// The program title shown when no company can be named.
inline constexpr const char* kProgramTitle = "VELUMBRA - \"Censimento Velumbra\"";

}  // namespace app
