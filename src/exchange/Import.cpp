#include "exchange/Import.h"

#include "app/KeptCopies.h"
#include "app/WorkingCompany.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "engine/FileSystem.h"
#include "exchange/TextFile.h"
#include "schema/CensusRow.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace exchange {
namespace {

constexpr std::string_view kOpeningTag = "<ComunicazioneVelumbra>";
constexpr std::string_view kClosingTag = "</ComunicazioneVelumbra>";
constexpr const char* kNotPossible =
    "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non può essere effettuata.";

}  // namespace

FileCheck ReadCommunication(std::string_view content, int company, CStructureRecordList& list) {
    list = CStructureRecordList{};
    const std::vector<std::string_view> lines = SplitLines(content);
    std::size_t next = 0;
    // Lines missing at the end of the file read as empty lines.
    const auto readLine = [&]() -> std::string_view {
        return next < lines.size() ? lines[next++] : std::string_view();
    };

    const std::string_view opening = readLine();
    if (!opening.starts_with(kOpeningTag)) {
        return FileCheck::Corrupt;
    }
    const std::int32_t count = text::ReadInt(opening.substr(kOpeningTag.size()));
    const std::string_view companyLine = readLine();
    if (companyLine.size() <= 10 || !companyLine.starts_with("<Azienda=") || !companyLine.ends_with(">")) {
        return FileCheck::Corrupt;
    }
    if (text::ReadInt(companyLine.substr(9)) != company) {
        return FileCheck::OtherCompany;
    }
    std::int32_t checksum = AddLineChecksum(0, companyLine);
    const std::string_view dateLine = readLine();
    if (dateLine.size() != 17 || !dateLine.starts_with("<Data=") || dateLine[16] != '>') {
        return FileCheck::Corrupt;
    }
    checksum = AddLineChecksum(checksum, dateLine);
    CStructureRecordList read{company, std::string(dateLine.substr(6, 10)), {}};
    read.records.reserve(count > 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), lines.size())
                                   : 0);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string_view line = readLine();
        if (!ParseRecordLine(read, line)) {
            return FileCheck::Corrupt;
        }
        checksum = AddLineChecksum(checksum, line);
    }
    const std::string_view closing = readLine();
    if (!closing.starts_with(kClosingTag) || text::ReadInt(closing.substr(kClosingTag.size())) != checksum) {
        return FileCheck::Corrupt;
    }
    list = std::move(read);
    return FileCheck::Valid;
}

ui::Outcome DeleteAllStructures(db::CDbConnection& connection) {
    db::CDbTable depositi(&connection, "depositi");
    return ui::Outcome::DoneIf(depositi.IsOpen() && depositi.DeleteAll());
}

ui::Outcome StoreStructures(db::CDbConnection& connection, const CStructureRecordList& list, int& counter) {
    db::CDbTable depositi(&connection, "depositi");
    if (!depositi.SelectIndex("codice")) {
        return ui::Outcome::Failed();
    }
    int n = 0;
    for (const census::Structure& r : list.records) {
        ++counter;
        if (!schema::IdentifierFits(connection.Port(), n)) {
            return ui::Outcome::Failed();
        }
        const bool stored = depositi.AddNew() && depositi.SetField("ID", text::FormatInt(n)) &&
                            schema::SetStructureFields(depositi, r);
        if (!stored || !depositi.Update()) {
            return ui::Outcome::Failed();  // the caller rolls the whole replacement back
        }
        ++n;
        connection.Port().KeepResponsive();
    }
    schema::SettingsRow settings(&connection);
    // A settings row that could not be read (shown) is missing as well.
    if (!settings.Seek().found()) {
        app::ShowMasterMissing(connection.Port());
        return ui::Outcome::Failed();
    }
    db::CDbTable& master = settings.master();
    return ui::Outcome::DoneIf(master.Edit() && master.SetField("id_depo", text::FormatInt(n)) &&
                               master.Update());
}

ui::Outcome CheckStorable(db::CDbConnection& connection, const CStructureRecordList& list) {
    db::CDbTable depositi(&connection, "depositi");
    if (!depositi.IsOpen()) {
        return ui::Outcome::Failed();
    }
    const schema::StructureColumns columns(depositi.Fields());
    ui::Port& port = connection.Port();
    // The records are looked through aside; the first that cannot be stored is told here.
    std::size_t refused = list.records.size();
    std::optional<db::FieldRefusal> refusal;
    port.RunAside([&] {
        for (std::size_t n = 0; n < list.records.size(); ++n) {
            if (n > static_cast<std::size_t>(census::kMaxStructureId)) {
                refused = n;
                return;
            }
            if ((refusal = columns.Refusal(list.records[n]))) {
                refused = n;
                return;
            }
        }
    });
    if (refused == list.records.size()) {
        return ui::Outcome::Done();
    }
    if (refusal) {
        db::ShowDatabaseError(port, refusal->prefix, refusal->description);
    } else {
        (void)schema::IdentifierFits(port, static_cast<int>(refused));
    }
    return ui::Outcome::Failed();
}

std::optional<CStructureRecordList> ReadCommunicationFile(db::CDbConnection& connection,
                                                          const std::filesystem::path& path, int company) {
    ui::Port& port = connection.Port();
    // The file is read and its frame checked aside.
    std::optional<std::string> content;
    CStructureRecordList list;
    FileCheck check = FileCheck::Corrupt;
    port.RunAside([&] {
        content = ReadWholeFile(path);
        if (content) {
            check = ReadCommunication(*content, company, list);
        }
    });
    if (!content) {
        port.ShowMessage("Impossibile aprire\n\n" + engine::files::ShownPath(path), ui::kProgramCaption,
                         ui::Icon::Exclamation);
        return std::nullopt;
    }
    content.reset();
    switch (check) {
        case FileCheck::OtherCompany:
            port.ShowMessage(
                text::Utf8ToCp1252Lossy(
                    std::string("ATTENZIONE: Il file proposto per l'importazione appartiene ad una diversa "
                                "Azienda TPL.\n\n") +
                    kNotPossible),
                ui::kProgramCaption, ui::Icon::Stop);
            return std::nullopt;
        case FileCheck::Corrupt:
            port.ShowMessage(
                text::Utf8ToCp1252Lossy(
                    std::string("ATTENZIONE: Il file proposto per l'importazione è corrotto oppure non ha "
                                "un contenuto\ncompatibile con le specifiche tecniche previste !!!\n\n") +
                    kNotPossible),
                ui::kProgramCaption, ui::Icon::Stop);
            return std::nullopt;
        case FileCheck::Valid:
            break;
    }
    if (!CheckStorable(connection, list)) {
        return std::nullopt;
    }
    return list;
}

namespace {

// The census beside the records of a file already read.
ui::Outcome Compare(db::CDbConnection& connection, const CStructureRecordList& list,
                    CensusComparison& comparison) {
    std::vector<ComparedStructure> census;
    const ui::Outcome read = ForEachStructure(connection, [&census](const census::Structure& structure) {
        census.push_back({structure.id, ComparedLine(structure)});
    });
    if (!read) {
        return ui::Outcome::Failed();
    }
    connection.Port().RunAside([&] { comparison = CompareCensus(census, list.records); });
    return ui::Outcome::Done();
}

}  // namespace

ui::Outcome CompareCommunication(app::Session& session, const std::filesystem::path& path,
                                 CensusComparison& comparison) {
    const auto company = app::RequireWorkingCompany(session);
    if (!company) {
        return ui::Outcome::Failed();
    }
    const auto list = ReadCommunicationFile(*session.Connection(), path, *company);
    return ui::Outcome::DoneIf(list && Compare(*session.Connection(), *list, comparison));
}

ui::Outcome ImportCommunication(app::Session& session, const std::function<LocalDateTime()>& now) {
    ui::Port& port = session.Port();
    const auto company = app::RequireWorkingCompany(session);
    if (!company) {
        return ui::Outcome::Failed();
    }
    const auto path = port.ChooseFile(TextFileQuestion(
        ui::FileKind::Acquisition, false, "Acquisizione Ultima Situazione Strutture Aziendali",
        "ComunicazioneVelumbra_" + text::FormatInt(*company), session.Path()));
    if (!path) {
        return ui::Outcome::Cancelled();
    }
    const auto list = ReadCommunicationFile(*session.Connection(), *path, *company);
    CensusComparison comparison;
    if (!list || !Compare(*session.Connection(), *list, comparison)) {
        return ui::Outcome::Failed();
    }
    const bool confirmed = port.Confirm(
        {ui::ConfirmationKind::ReplaceCensus,
         text::Utf8ToCp1252Lossy(
             "Il file proposto presenta un contenuto valido per l'importazione.\n\n"
             "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
             "Trasporti Regionale provocherà l'AZZERAMENTO di tutte le strutture attualmente registrati\n"
             "nel database, mentre verranno registrate le strutture denunciate con la precedente\n"
             "comunicazione.\n\n"
             "Si intende procedere oltre?"),
         std::string(ui::kProgramCaption), comparison.Text()});
    if (!confirmed) {
        return ui::Outcome::Cancelled();
    }
    const ui::BusyScope busy(port, true);
    db::CDbConnection& connection = *session.Connection();
    const auto clock = [&now] { return DateTimeOf(now()); };
    // The whole replacement is one transaction: either the file's census is in place, or the old one
    // is left exactly as it was. Nothing is deleted before the census is kept whole beside itself, in
    // the transaction, whose write lock keeps every other import waiting: the copy is of the census
    // this import replaces. A copy of a census that was not replaced goes again.
    int counter = 0;
    bool replaced = false;
    std::string copy;
    {
        db::CDbTransaction transaction(connection);
        if (transaction.IsActive()) {
            std::optional<engine::Result<app::KeptCopy>> keeping;
            port.RunAside([&] {
                keeping.emplace(app::KeepCopy(*connection.Database(), app::kImportCopyLabel, clock, &copy,
                                              [&port] { port.KeepResponsive(); }));
            });
            auto& kept = *keeping;
            if (!kept) {
                port.ShowMessage(
                    text::Utf8ToCp1252Lossy(
                        "Impossibile creare la copia del censimento prima dell'importazione:\n\n") +
                        copy + "\n\n" + kept.description() + "\n\n" + text::Utf8ToCp1252Lossy(kNotPossible),
                    ui::kProgramCaption, ui::Icon::Exclamation);
                return ui::Outcome::Failed();
            }
            replaced = DeleteAllStructures(connection) && StoreStructures(connection, *list, counter) &&
                       transaction.Commit();
            if (replaced) {
                kept->Keep(kKeptImportCopies);
            }
        }
        if (!replaced) {
            counter = 0;  // rolled back as the transaction ends
        }
    }
    port.ShowMessage(
        text::Utf8ToCp1252Lossy(
            "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
            "Trasporti Regionale è terminata") +
            (replaced ? " con successo.\n" : " con errori.\n") + "Sono state registrate " +
            text::FormatInt(counter) + " schede Struttura" +
            (replaced ? text::Utf8ToCp1252Lossy("\nIl censimento precedente è conservato nella copia ") + copy
                      : std::string()),
        ui::kProgramCaption, ui::Icon::Information);
    return ui::Outcome::DoneIf(replaced);
}

}  // namespace exchange
