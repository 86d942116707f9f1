// Copies of a census kept beside it before a command replaces what it holds, named so that they sort
// in the order they were made, and the retention of the newest of them.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Database.h"
#include "engine/Status.h"
#include "engine/Value.h"

namespace app {

class KeptCopy;

// The labels of the copies kept beside a census: before an import replaces what it holds, and before a
// kept copy is put back in its place.
inline constexpr std::string_view kImportCopyLabel = "prima-importazione";
inline constexpr std::string_view kRestoreCopyLabel = "prima-ripristino";

// A copy kept beside a census: its file, and the date and time its name is stamped with.
struct KeptFile {
    std::filesystem::path path;
    engine::DateTime made;
};
// The copies kept beside the census `census` under any of `labels` (Windows-1252), newest first.
std::vector<KeptFile> KeptCopiesOf(const std::filesystem::path& census,
                                   const std::vector<std::string_view>& labels);

// Copies the open database `db` whole into a new file beside it named STEM.LABEL-YYYYMMDD-HHMMSS.EXT
// (STEM and EXT those of its file's name), complete or not at all; `copyPath` receives its path as a
// message shows it (also when it could not be made). The names of such copies sort in the order they were
// made: the stamp is the date and time `now` gives, or one second after the newest copy's (of this label
// or of the labels above) when that is not later (the clock went back, or copies followed within a second),
// and the next free one when the name is taken. Taken only at the beginning of a transaction of `db`, before
// it changes anything (Database::CopyInto), so the copy holds what the transaction replaces. The copy goes
// again unless it is kept.
engine::Result<KeptCopy> KeepCopy(engine::Database& db, std::string_view label,
                                  const std::function<engine::DateTime()>& now, std::string* copyPath,
                                  const std::function<void()>& keepResponsive = {});

// A copy of a database file made beside it by KeepCopy. It is removed when this goes unless it was
// kept: a copy made before a change that did not happen is no history.
class KeptCopy {
  public:
    KeptCopy(KeptCopy&& other) noexcept;
    KeptCopy& operator=(KeptCopy&&) = delete;
    KeptCopy(const KeptCopy&) = delete;
    KeptCopy& operator=(const KeptCopy&) = delete;
    ~KeptCopy();

    // Its path, as a message shows it.
    const std::string& path() const { return shown_; }
    // Keeps this copy and, of the copies of the same file and label, the newest `newest` in all (this
    // one the newest of them); older ones are removed, those this program holds open aside.
    void Keep(int newest);

  private:
    friend engine::Result<KeptCopy> KeepCopy(engine::Database&, std::string_view,
                                             const std::function<engine::DateTime()>&, std::string*,
                                             const std::function<void()>&);
    KeptCopy(std::string file, std::string prefix, std::string extension);

    std::string file_;  // UTF-8; empty once kept or moved from
    std::string shown_;
    std::string prefix_, extension_;  // UTF-8, of the names of the copies of the same file and label
};

}  // namespace app
