// The database maintenance commands that work on files the person chooses: create, repair, duplicate.
// Each command asks for its files through the port; the ...At forms take the paths directly.
#pragma once

#include <string>

#include "ui/Port.h"

namespace schema {

// The file dialog of the maintenance commands: "open" asks for an existing file, "save" for a new
// one (confirming an existing name and a name that does not exist yet).
ui::FileDialogRequest DatabaseFileDialog(bool save, const std::string& title);

// "&Crea": a complete new database; the current database is not changed.
void CreateDatabaseCommand(ui::Port& port);
bool CreateDatabaseAt(ui::Port& port, const std::string& path);

// "&Ripara": checks a database file and repairs it. No message reports a sound file; a damaged file
// rebuilt is reported with the name its damaged original was kept under.
void RepairDatabaseCommand(ui::Port& port);
bool RepairDatabaseAt(ui::Port& port, const std::string& path);

// "&Duplica": copies a database into a new file, compacting it.
void DuplicateDatabaseCommand(ui::Port& port);
bool DuplicateDatabaseAt(ui::Port& port, const std::string& source, const std::string& destination);

}  // namespace schema
