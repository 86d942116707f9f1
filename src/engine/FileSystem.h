// What differs between systems when files are made durable and replaced: flushing a file and its
// folder to disk, giving a finished file its name (with or without replacing another), a new file
// held by its writer until it has its name, telling whether the process that left a temporary file
// behind still runs, and the UTF-8 form of paths. One POSIX branch and one Windows branch
// (FileSystem.cpp); on Windows every path goes to the system as wide characters, never through the
// ANSI code page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace engine::files {

// A path from its UTF-8 text, and the UTF-8 text of a path (never the ANSI code page on Windows).
std::filesystem::path PathOfUtf8(std::string_view utf8);
std::string Utf8Of(const std::filesystem::path& path);
// The text of a path as a message names it (Windows-1252): the letters that Windows-1252 cannot hold
// show as '?'. Only for showing: the file is always reached by the path itself.
std::string ShownPath(const std::filesystem::path& path);
// `path` with `suffix` (plain ASCII, such as "-wal") appended to its last part.
std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix);

// Flushes the file's contents to the disk. False when that fails.
[[nodiscard]] bool SyncFile(const std::filesystem::path& file);
// Flushes the folder's entries (a rename into it) to the disk. False when that fails. On Windows the
// renames are written through by themselves (MOVEFILE_WRITE_THROUGH) and this does nothing.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder);
// Gives `from` the name `to` when no file has that name; false (and `from` unchanged) otherwise.
[[nodiscard]] bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// Gives `from` the name `to`, replacing the file of that name in one step: whoever opens `to` finds
// the old file or the new one, never none. False (and both unchanged) when the system refuses, as
// Windows does while another program holds `to`.
[[nodiscard]] bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes `to` (which must not exist) a second name of `from` where the file system can, otherwise a copy
// of it flushed to the disk; `from` stays as it is. False when `to` exists or cannot be made (a copy
// begun is removed).
[[nodiscard]] bool AlsoNameAs(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes the empty file `file` when no file has that name. Exists when one had it.
enum class Made { Done, Exists, Failed };
[[nodiscard]] Made MakeNewFile(const std::filesystem::path& file);
// Whether this process may create files in `folder`.
[[nodiscard]] bool CanWriteIn(const std::filesystem::path& folder);

// Whether a file that some handle holds open can be renamed. POSIX: yes. Windows: no (SQLite opens its
// files without sharing their deletion), so a file is renamed only once closed.
#ifdef _WIN32
inline constexpr bool kOpenFilesCanBeRenamed = false;
#else
inline constexpr bool kOpenFilesCanBeRenamed = true;
#endif

// A new file being written under a temporary name, held by its writer from its creation until it has
// taken its own name or is dropped, so that RemoveIfAbandoned leaves it alone meanwhile.
class HeldFile {
  public:
    HeldFile() = default;
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // Creates `file`, which must not exist; false when it exists or cannot be made.
    [[nodiscard]] bool Create(const std::filesystem::path& file);
    [[nodiscard]] bool Write(std::string_view bytes);
    // Flushes what was written to the disk, renames the file over `target` (replacing a file of that
    // name) and makes the rename durable. False when any step fails: the file then keeps its
    // temporary name, unless only the last flush failed. The file is closed afterwards.
    [[nodiscard]] bool FlushAndReplace(const std::filesystem::path& target);
    // Closes the file; false when closing reported an error.
    bool Close();

  private:
    std::filesystem::path path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Removes `file`, a HeldFile that process `writer` made, when nobody holds it any more: POSIX by the
// writer's lock on it, Windows by the writer no longer running (and the file not being open).
void RemoveIfAbandoned(const std::filesystem::path& file, long writer);

// This process's identifier, and whether a process with that identifier runs.
long CurrentProcessId();
bool ProcessRuns(long id);

// The temporary name of a file being written for `target`: hidden, beside it, with this process's
// identifier and an ending no other file of the program has. The file takes `target`'s name only when
// it is whole.
std::filesystem::path BuildingName(const std::filesystem::path& target);
// Removes from `folder` what writers killed before they finished left there (the files BuildingName
// names, with their journals and logs): those of processes that no longer run. A file being written
// by a process that runs is left alone.
void RemoveAbandonedBuilds(const std::filesystem::path& folder);

}  // namespace engine::files
