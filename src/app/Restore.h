// "Ripristina Copia…": a copy kept beside the census put back in its place, the census it replaces kept
// beside it in turn, so that the restore too can be undone.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "app/KeptCopies.h"
#include "app/Session.h"
#include "engine/Status.h"
#include "engine/Value.h"
#include "ui/Outcome.h"
#include "ui/Port.h"

namespace app {

// The census a restore replaces is kept as NAME.prima-ripristino-YYYYMMDD-HHMMSS.EXT; the newest five of
// these are kept.
inline constexpr int kKeptRestoreCopies = 5;

// A copy kept beside the census, and how the list of copies shows it.
struct CensusCopy {
    KeptFile file;
    ui::KeptCopyEntry entry;
};

// The copies kept beside the census `census` (before an import, before a restore), newest first. Each is
// read to be shown; one that cannot be read is listed all the same.
std::vector<CensusCopy> ListCensusCopies(const std::filesystem::path& census);

// Tells the person that no copy is kept beside the census `census`.
void ShowNoCensusCopies(ui::Port& port, const std::filesystem::path& census);

// Whether the file `copy` is a whole census of this program that can take the place of one: a census
// database, complete, undamaged, with no column this version does not know. The reason when not.
engine::Status CheckRestorable(const std::filesystem::path& copy);

// The menu's command: the list of the copies (or a message when there is none), then RestoreCensusCopy
// on the one chosen. `now` stamps the name of the copy of the census replaced.
ui::Outcome RestoreCensusCopyCommand(Session& session, const std::function<engine::DateTime()>& now);

// Puts `copy` back in the place of the session's census once the person confirms: a copy that is no
// whole census is refused with its reason and nothing changes; otherwise the census is first kept beside
// itself, then replaced by the copy in one step, the connection opened again on it, and the person told.
ui::Outcome RestoreCensusCopy(Session& session, const CensusCopy& copy,
                              const std::function<engine::DateTime()>& now);

}  // namespace app
