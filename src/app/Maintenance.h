// The database maintenance commands that work on files the person chooses: create, repair, duplicate.
// Each command asks for its files through the port; the ...At forms take the paths directly. A command
// cancelled in a file dialog is not done, and shows nothing.
#pragma once

#include <string>

#include "ui/Outcome.h"
#include "ui/Port.h"

namespace app {

// The file dialog of the maintenance commands: "open" asks for an existing file, "save" for a new
// one (confirming an existing name and a name that does not exist yet).
ui::FileDialogRequest DatabaseFileDialog(bool save, const std::string& title);

// "&Crea": a complete new database; the current database is not changed.
ui::Outcome CreateDatabaseCommand(ui::Port& port);
ui::Outcome CreateDatabaseAt(ui::Port& port, const std::string& path);

// "&Ripara": checks a database file and repairs it. No message reports a sound file; a damaged file
// rebuilt is reported with the name its damaged original was kept under.
ui::Outcome RepairDatabaseCommand(ui::Port& port);
ui::Outcome RepairDatabaseAt(ui::Port& port, const std::string& path);

// "&Duplica": copies a database into a new file, compacting it.
ui::Outcome DuplicateDatabaseCommand(ui::Port& port);
ui::Outcome DuplicateDatabaseAt(ui::Port& port, const std::string& source, const std::string& destination);

}  // namespace app
