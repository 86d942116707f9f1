// The copies a command keeps beside a census: their names, the copy itself, and the removal of the
// oldest beyond the number kept.
#include "app/KeptCopies.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/FileSystem.h"
#include "engine/Messages.h"
#include "text/Text.h"

namespace app {

using engine::DateTime;
using engine::Result;
using engine::Status;
namespace files = engine::files;

namespace {

// The stamps of kept copies: YYYYMMDD-HHMMSS.
constexpr std::size_t kStampLength = 15;

// A date and time as seconds from the beginning of 1970, taken as if it were universal time (only the
// order of stamps and a second after one matter); nothing when it is no date and time of years 1-9999.
std::optional<std::int64_t> SecondsOf(const DateTime& t) {
    using namespace std::chrono;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)},
                              day{static_cast<unsigned>(t.day)}};
    if (t.year < 1 || t.year > 9999 || !date.ok() || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59) {
        return std::nullopt;
    }
    return std::int64_t{sys_days(date).time_since_epoch().count()} * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

DateTime DateTimeOf(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_days date{days{seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400}};
    const std::int64_t time = seconds - std::int64_t{date.time_since_epoch().count()} * 86400;
    const year_month_day ymd{date};
    return {.year = static_cast<int>(ymd.year()),
            .month = static_cast<int>(static_cast<unsigned>(ymd.month())),
            .day = static_cast<int>(static_cast<unsigned>(ymd.day())),
            .hour = static_cast<int>(time / 3600),
            .minute = static_cast<int>(time / 60 % 60),
            .second = static_cast<int>(time % 60)};
}

std::string StampOf(std::int64_t seconds) {
    const DateTime t = DateTimeOf(seconds);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return stamp;
}

// A copy beside a file, from its name: `prefix`, a stamp, perhaps "-N" (the Nth copy of one second, read
// and ordered though this program names none so), the file's extension.
struct KeptName {
    std::int64_t seconds = 0;
    int sequence = 1;  // N, 1 for none
    std::filesystem::path path;
};

std::optional<KeptName> ReadKeptName(const std::filesystem::path& path, const std::string& prefix,
                                     const std::string& ext) {
    const std::string name = files::Utf8Of(path.filename());
    if (name.size() < prefix.size() + kStampLength + ext.size() || !name.starts_with(prefix) ||
        !name.ends_with(ext)) {
        return std::nullopt;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    const auto digits = [](std::string_view t) {
        return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string_view stamp = std::string_view(middle).substr(0, kStampLength);
    const std::string rest = middle.substr(kStampLength);
    if (!digits(stamp.substr(0, 8)) || stamp[8] != '-' || !digits(stamp.substr(9)) ||
        (!rest.empty() && (rest.size() > 6 || rest[0] != '-' || !digits(rest.substr(1))))) {
        return std::nullopt;
    }
    const auto number = [&](std::size_t from, std::size_t length) {
        return std::stoi(std::string(stamp.substr(from, length)));
    };
    const auto seconds = SecondsOf({.year = number(0, 4),
                                    .month = number(4, 2),
                                    .day = number(6, 2),
                                    .hour = number(9, 2),
                                    .minute = number(11, 2),
                                    .second = number(13, 2)});
    if (!seconds) {
        return std::nullopt;
    }
    return KeptName{*seconds, rest.empty() ? 1 : std::stoi(rest.substr(1)), path};
}

bool NewestFirst(const KeptName& a, const KeptName& b) {
    return std::tie(a.seconds, a.sequence) > std::tie(b.seconds, b.sequence);
}

// The copies in `folder` named `prefix`, stamp, `ext`, newest first.
std::vector<KeptName> KeptCopiesIn(const std::filesystem::path& folder, const std::string& prefix,
                                   const std::string& ext) {
    std::vector<KeptName> kept;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        auto copy = ReadKeptName(it->path(), prefix, ext);
        if (copy && it->is_regular_file(ec)) {
            kept.push_back(std::move(*copy));
        }
    }
    std::sort(kept.begin(), kept.end(), NewestFirst);
    return kept;
}

// The names of the copies of `original` under `label`: STEM.LABEL-, a stamp, .EXT (UTF-8).
std::pair<std::string, std::string> KeptNameOf(const std::filesystem::path& original,
                                               std::string_view label) {
    return {files::Utf8Of(original.stem()) + "." + text::Cp1252ToUtf8(label) + "-",
            files::Utf8Of(original.extension())};
}

// The copies of `original` under any of `labels`, newest first.
std::vector<KeptName> CopiesUnder(const std::filesystem::path& original,
                                  const std::vector<std::string_view>& labels) {
    std::vector<KeptName> kept;
    for (const std::string_view label : labels) {
        const auto [prefix, ext] = KeptNameOf(original, label);
        std::vector<KeptName> some = KeptCopiesIn(original.parent_path(), prefix, ext);
        kept.insert(kept.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
    }
    std::stable_sort(kept.begin(), kept.end(), NewestFirst);
    return kept;
}

}  // namespace

std::vector<KeptFile> KeptCopiesOf(const std::filesystem::path& census,
                                   const std::vector<std::string_view>& labels) {
    std::vector<KeptFile> files;
    for (const KeptName& copy : CopiesUnder(census, labels)) {
        files.push_back({census.parent_path() / copy.path.filename(), DateTimeOf(copy.seconds)});
    }
    return files;
}

KeptCopy::KeptCopy(std::string file, std::string prefix, std::string extension)
    : file_(std::move(file)),
      shown_(files::ShownPath(files::PathOfUtf8(file_))),
      prefix_(std::move(prefix)),
      extension_(std::move(extension)) {}

KeptCopy::KeptCopy(KeptCopy&& other) noexcept
    : file_(std::exchange(other.file_, {})),
      shown_(std::move(other.shown_)),
      prefix_(std::move(other.prefix_)),
      extension_(std::move(other.extension_)) {}

KeptCopy::~KeptCopy() {
    if (!file_.empty()) {
        engine::Database::Remove(files::PathOfUtf8(file_));
    }
}

void KeptCopy::Keep(int newest) {
    if (file_.empty()) {
        return;
    }
    const std::filesystem::path own = files::PathOfUtf8(file_);
    file_.clear();
    const std::vector<KeptName> kept = KeptCopiesIn(own.parent_path(), prefix_, extension_);
    std::size_t left = static_cast<std::size_t>(std::max(newest, 1)) - 1;  // besides this one
    for (const KeptName& copy : kept) {
        if (copy.path.filename() == own.filename()) {
            continue;
        }
        if (left > 0) {
            --left;
        } else if (!engine::Database::IsOpenInProgram(copy.path)) {
            engine::Database::Remove(copy.path);
        }
    }
}

Result<KeptCopy> KeepCopy(engine::Database& db, std::string_view label, const std::function<DateTime()>& now,
                          std::string* copyPath, const std::function<void()>& keepResponsive) {
    if (!db.IsOpen()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Il database non è aperto."));
    }
    const std::filesystem::path& original = db.path();
    const std::filesystem::path folder = original.parent_path();
    std::string prefix, ext;
    std::tie(prefix, ext) = KeptNameOf(original, label);
    // The copies of every label of the program's own sort together: the stamp follows the newest of them.
    const std::vector<KeptName> kept = CopiesUnder(original, {label, kImportCopyLabel, kRestoreCopyLabel});
    std::int64_t seconds = SecondsOf(now()).value_or(0);
    if (!kept.empty() && seconds <= kept.front().seconds) {
        seconds = kept.front().seconds + 1;
    }
    std::error_code ec;
    const auto named = [&] { return folder / files::PathOfUtf8(prefix + StampOf(seconds) + ext); };
    // A name that is taken gives way to the next second's.
    int tries = 0;
    const auto nextName = [&](std::filesystem::path& taken) {
        ++seconds;
        taken = named();
        return ++tries < 1000;
    };
    std::filesystem::path target = named();
    while (std::filesystem::exists(target, ec) && nextName(target)) {
    }
    const std::string shown = files::ShownPath(target);
    if (copyPath) {
        *copyPath = shown;  // named also when it could not be made
    }
    if (Status s = db.CopyInto(target, nextName, keepResponsive); !s) {
        return s;
    }
    KeptCopy copy(files::Utf8Of(target), prefix, ext);
    if (copyPath) {
        *copyPath = copy.path();
    }
    return copy;
}

}  // namespace app
