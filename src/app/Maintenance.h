// The database maintenance commands that work on files the person chooses: create, repair, duplicate.
// Each command asks for its files through the port; the ...At forms take the paths directly. A command
// cancelled in a file dialog ends as cancelled, and shows nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "engine/Status.h"

#include "ui/Outcome.h"
#include "ui/Port.h"

namespace app {

// The file dialog of the maintenance commands: "open" asks for an existing file, "save" for a new
// one (confirming an existing name and a name that does not exist yet).
ui::FileQuestion DatabaseFileQuestion(ui::FileKind kind, bool save, const std::string& title);

// Whether `path` is a census this program can work on (it is opened to be read, and closed again).
bool IsCensusAt(const std::filesystem::path& path);

// "&Crea": a complete new database; the current database is not changed.
ui::Outcome CreateDatabaseCommand(ui::Port& port);
ui::Outcome CreateDatabaseAt(ui::Port& port, const std::filesystem::path& path);

// "&Ripara": checks a database file and repairs it. No message reports a sound file; a damaged file
// rebuilt is reported with the name its damaged original was kept under.
ui::Outcome RepairDatabaseCommand(ui::Port& port);
ui::Outcome RepairDatabaseAt(ui::Port& port, const std::filesystem::path& path);
// The same, with the blank census into which a census whose description of its tables is lost is
// rebuilt made by `makeBlank` (at the path it is given, which does not exist; it shows nothing) instead
// of created anew: a copy of one made before, for a caller that repairs many files.
ui::Outcome RepairDatabaseAt(
    ui::Port& port, const std::filesystem::path& path,
    const std::function<engine::Status(const std::filesystem::path& path)>& makeBlank);

// "&Duplica": copies a database into a new file, compacting it.
ui::Outcome DuplicateDatabaseCommand(ui::Port& port);
ui::Outcome DuplicateDatabaseAt(ui::Port& port, const std::filesystem::path& source,
                                const std::filesystem::path& destination);

}  // namespace app
