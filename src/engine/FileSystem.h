// What differs between systems when files are made durable and replaced: flushing a file and its
// folder to disk, giving a finished file its name without replacing another, and telling whether the
// process that left a temporary file behind still runs.
#pragma once

#include <filesystem>
#include <string>

namespace engine::files {

// Flushes the file's contents to the disk. False when that fails.
[[nodiscard]] bool SyncFile(const std::filesystem::path& file);
// Flushes the folder's entries (a rename into it) to the disk. False when that fails.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder);
// Gives `from` the name `to` when no file has that name; false (and `from` unchanged) otherwise.
[[nodiscard]] bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// This process's identifier, and whether a process with that identifier runs.
long CurrentProcessId();
bool ProcessRuns(long id);

}  // namespace engine::files
