#include "app/Restore.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "engine/Query.h"
#include "schema/Dictionary.h"
#include "text/Text.h"

namespace app {
namespace {

constexpr const char* kCaption = "Ripristino database";

// "GG/MM/AAAA HH:MM:SS".
std::string FormatMade(const engine::DateTime& t) {
    char time[16];
    std::snprintf(time, sizeof time, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    return text::FormatDate(t.day, t.month, t.year) + time;
}

// The first row of a query on `db`; nothing when it cannot be read.
std::unique_ptr<engine::Snapshot> FirstRow(engine::Database& db, std::string_view sql) {
    auto query = db.CreateQuery(sql);
    if (!query) {
        return nullptr;
    }
    auto rows = (*query)->OpenSnapshot();
    if (!rows || (*rows)->AtEnd()) {
        return nullptr;
    }
    return std::move(*rows);
}

// What the list shows of a copy: its structures and its working company, "?" for what cannot be read.
ui::KeptCopyEntry EntryOf(const KeptFile& file) {
    ui::KeptCopyEntry entry{FormatMade(file.made), "?", "?"};
    auto opened = engine::Database::Open(file.path, engine::Database::Contents::WholeCensus,
                                         engine::Database::Access::ReadOnly);
    if (!opened) {
        return entry;
    }
    engine::Database& db = **opened;
    if (const auto count = FirstRow(db, "SELECT count(*) FROM depositi")) {
        if (const engine::Value* n = count->FieldIfAny(0)) {
            entry.structures = text::FormatInt(n->AsInt());
        }
    }
    const auto company =
        FirstRow(db,
                 "SELECT m.azienda, r.denom FROM master AS m LEFT JOIN regazi AS r ON r.codice = m.azienda "
                 "WHERE m.codice = 0");
    if (!company) {
        return entry;
    }
    const auto given = [](const engine::Value* v) { return v && v->kind() != engine::Value::Kind::Null; };
    const engine::Value* code = company->FieldIfAny(0);
    const engine::Value* name = company->FieldIfAny(1);
    entry.company = !given(code)
                        ? std::string("Azienda non definita")
                        : text::FormatIntZeroPadded(code->AsInt(), 4) + " - " +
                              (given(name) ? text::TrimRight(name->AsBytes()) : "Azienda non definita");
    return entry;
}

}  // namespace

std::vector<CensusCopy> ListCensusCopies(const std::filesystem::path& census) {
    std::vector<CensusCopy> copies;
    for (KeptFile& file : KeptCopiesOf(census, {kImportCopyLabel, kRestoreCopyLabel})) {
        ui::KeptCopyEntry entry = EntryOf(file);
        copies.push_back({std::move(file), std::move(entry)});
    }
    return copies;
}

void ShowNoCensusCopies(ui::Port& port, const std::filesystem::path& census) {
    port.ShowMessage(
        text::Utf8ToCp1252Lossy("Accanto al database non è conservata alcuna copia del censimento:\n\n") +
            engine::files::ShownPath(census),
        kCaption, ui::Icon::Information);
}

engine::Status CheckRestorable(const std::filesystem::path& copy) {
    auto opened = engine::Database::Open(copy, engine::Database::Contents::WholeCensus,
                                         engine::Database::Access::ReadOnly);
    if (!opened) {
        return opened.status();
    }
    if (engine::Status intact = (*opened)->CheckIntact(); !intact) {
        return intact;
    }
    return schema::CheckKnownColumns(**opened);
}

ui::Outcome RestoreCensusCopyCommand(Session& session, const std::function<engine::DateTime()>& now) {
    ui::Port& port = session.Port();
    if (!session.HasOpenDatabase()) {
        return ui::Outcome::Failed();
    }
    std::vector<CensusCopy> copies;
    {
        const ui::BusyScope busy(port, false);
        copies = ListCensusCopies(session.Path());
    }
    if (copies.empty()) {
        ShowNoCensusCopies(port, session.Path());
        return ui::Outcome::Refused();
    }
    ui::KeptCopiesRequest request;
    for (const CensusCopy& copy : copies) {
        request.copies.push_back(copy.entry);
    }
    const auto chosen = port.ChooseKeptCopy(request);
    if (!chosen || *chosen >= copies.size()) {
        return ui::Outcome::Cancelled();
    }
    return RestoreCensusCopy(session, copies[*chosen], now);
}

ui::Outcome RestoreCensusCopy(Session& session, const CensusCopy& copy,
                              const std::function<engine::DateTime()>& now) {
    ui::Port& port = session.Port();
    const std::filesystem::path census = session.Path();
    const std::string copyShown = engine::files::ShownPath(copy.file.path);
    engine::Status restorable;
    {
        const ui::BusyScope busy(port, true);
        port.RunAside([&] { restorable = CheckRestorable(copy.file.path); });
    }
    if (!restorable) {
        port.ShowMessage(text::Utf8ToCp1252Lossy(
                             "La copia non è un censimento completo e non può essere ripristinata:\n\n") +
                             copyShown + "\n\n" + restorable.description(),
                         kCaption, ui::Icon::Exclamation);
        return ui::Outcome::Refused();
    }
    if (!port.Confirm({ui::ConfirmationKind::RestoreCopy,
                       text::Utf8ToCp1252Lossy("Il censimento attuale sarà sostituito dalla copia del ") +
                           copy.entry.made +
                           text::Utf8ToCp1252Lossy(". Il censimento attuale sarà conservato a sua volta "
                                                   "come copia."),
                       kCaption,
                       {}})) {
        return ui::Outcome::Cancelled();
    }
    const ui::BusyScope busy(port, true);
    // The census is let go, kept beside itself in a transaction whose write lock keeps every other
    // writer out while the copy is made, then replaced by the copy; a copy of a census that was not
    // replaced goes again.
    session.CloseConnection();
    std::string kept;
    std::optional<engine::Result<KeptCopy>> keeping;
    engine::Status replaced;
    port.RunAside([&] {
        const auto tick = [&port] { port.KeepResponsive(); };
        auto opened = engine::Database::Open(census);
        engine::Status begun = opened ? (*opened)->BeginTransaction() : opened.status();
        if (!begun) {
            keeping.emplace(std::move(begun));
            return;
        }
        keeping.emplace(KeepCopy(**opened, kRestoreCopyLabel, now, &kept, tick));
        (void)(*opened)->RollbackTransaction();  // it changed nothing
        (void)(*opened)->Close();
        if (*keeping) {
            replaced = engine::Database::ReplaceWithCopyOf(census, copy.file.path, tick);
        }
    });
    const std::string censusShown = engine::files::ShownPath(census);
    if (!*keeping) {
        port.ShowMessage(
            text::Utf8ToCp1252Lossy("Impossibile creare la copia del censimento prima del ripristino:\n\n") +
                (kept.empty() ? censusShown : kept) + "\n\n" + keeping->description() +
                text::Utf8ToCp1252Lossy("\n\nIl censimento non è stato modificato."),
            kCaption, ui::Icon::Exclamation);
    } else if (!replaced) {
        port.ShowMessage("Errore durante il ripristino del database\n\n" + censusShown + "\n\n" +
                             replaced.description() +
                             text::Utf8ToCp1252Lossy("\n\nIl censimento non è stato modificato."),
                         kCaption, ui::Icon::Exclamation);
    } else {
        (*keeping)->Keep(kKeptRestoreCopies);
    }
    const ui::Outcome reopened = session.OpenAssociatedDatabase();
    if (!*keeping || !replaced) {
        return ui::Outcome::Failed(0, !*keeping ? keeping->description() : replaced.description());
    }
    port.ShowMessage(
        text::Utf8ToCp1252Lossy("Il censimento è stato ripristinato dalla copia del ") + copy.entry.made +
            ":\n\n" + copyShown +
            text::Utf8ToCp1252Lossy("\n\nIl censimento sostituito è conservato nella copia:\n\n") + kept,
        kCaption, ui::Icon::Information);
    return reopened.ending() == ui::Ending::Failed ? reopened : ui::Outcome::Done();
}

}  // namespace app
