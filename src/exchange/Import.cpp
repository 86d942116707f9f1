#include "exchange/Import.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <system_error>

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
// The most a file's records are given room for at once; beyond, the room grows as they come.
constexpr std::uintmax_t kMaxReserved = std::uintmax_t{64} << 20;
constexpr const char* kNotPossible =
    "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non può essere effettuata.";

// Reads the lines of a communication file for `company`, handing `add` each record in file order (its
// texts' storage reused from one to the next); the date goes into `date`.
FileCheck ReadCommunicationLines(LineReader& lines, int company, std::string& date,
                                 const std::function<void(const census::Structure&)>& add) {
    // Lines missing at the end of the file read as empty lines.
    const auto readLine = [&lines]() -> std::string_view {
        return lines.Next().value_or(std::string_view());
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
    date.assign(dateLine.substr(6, 10));
    census::Structure record;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string_view line = readLine();
        if (!ParseRecord(line, record)) {
            return FileCheck::Corrupt;
        }
        add(record);
        checksum = AddLineChecksum(checksum, line);
    }
    const std::string_view closing = readLine();
    if (!closing.starts_with(kClosingTag) || text::ReadInt(closing.substr(kClosingTag.size())) != checksum) {
        return FileCheck::Corrupt;
    }
    return FileCheck::Valid;
}

}  // namespace

FileCheck ReadCommunication(std::string_view content, int company, CStructureRecordList& list) {
    list = CStructureRecordList{};
    LineReader lines(content);
    CStructureRecordList read{company, {}, {}};
    const FileCheck check = ReadCommunicationLines(
        lines, company, read.date, [&read](const census::Structure& r) { read.records.push_back(r); });
    if (check == FileCheck::Valid) {
        list = std::move(read);
    }
    return check;
}

ui::Outcome DeleteAllStructures(db::CDbConnection& connection) {
    db::CDbTable depositi(&connection, "depositi");
    return ui::Outcome::DoneIf(depositi.IsOpen() && depositi.DeleteAll());
}

ui::Outcome StoreStructures(db::CDbConnection& connection, const CStructureRecordList& list, int& counter) {
    return StoreStructures(connection, StructureRecords(list.records), counter);
}

ui::Outcome StoreStructures(db::CDbConnection& connection, const StructureRecords& records, int& counter) {
    db::CDbTable depositi(&connection, "depositi");
    if (!depositi.SelectIndex("codice")) {
        return ui::Outcome::Failed();
    }
    int n = 0;
    census::Structure r;
    for (std::size_t i = 0; i < records.size(); ++i) {
        records.Get(i, r);
        ++counter;
        if (!schema::IdentifierFits(connection.Port(), n)) {
            return ui::Outcome::Failed();
        }
        const bool stored =
            depositi.AddNew() && depositi.SetNumber("ID", n) && schema::SetStructureFields(depositi, r);
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
    return ui::Outcome::DoneIf(master.Edit() && master.SetNumber("id_depo", n) && master.Update());
}

ui::Outcome CheckStorable(db::CDbConnection& connection, const CStructureRecordList& list) {
    return CheckStorable(connection, StructureRecords(list.records));
}

ui::Outcome CheckStorable(db::CDbConnection& connection, const StructureRecords& records) {
    db::CDbTable depositi(&connection, "depositi");
    if (!depositi.IsOpen()) {
        return ui::Outcome::Failed();
    }
    const schema::StructureColumns columns(depositi.Fields());
    ui::Port& port = connection.Port();
    // The records are looked through aside; the first that cannot be stored is told here.
    std::size_t refused = records.size();
    std::optional<db::FieldRefusal> refusal;
    port.RunAside([&] {
        census::Structure record;
        for (std::size_t n = 0; n < records.size(); ++n) {
            if (n > static_cast<std::size_t>(census::kMaxStructureId)) {
                refused = n;
                return;
            }
            records.Get(n, record);
            if ((refusal = columns.Refusal(record))) {
                refused = n;
                return;
            }
        }
    });
    if (refused == records.size()) {
        return ui::Outcome::Done();
    }
    if (refusal) {
        db::ShowDatabaseError(port, refusal->prefix, refusal->description);
    } else {
        (void)schema::IdentifierFits(port, static_cast<int>(refused));
    }
    return ui::Outcome::Failed();
}

std::optional<StructureRecords> ReadCommunicationFile(db::CDbConnection& connection,
                                                      const std::filesystem::path& path, int company) {
    ui::Port& port = connection.Port();
    // The file is read, a piece at a time, and its frame checked aside.
    StructureRecords records;
    FileCheck check = FileCheck::Corrupt;
    bool readable = false;
    port.RunAside([&] {
        LineReader lines(path);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        // The records take about as many bytes as their lines.
        records.Reserve(ec ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(size, kMaxReserved)));
        std::string date;
        check = ReadCommunicationLines(lines, company, date,
                                       [&records](const census::Structure& r) { records.Add(r); });
        // A file refused early is still one that could not be read when its rest cannot.
        while (check != FileCheck::Valid && lines.Next()) {
        }
        readable = !lines.Failed();
    });
    if (!readable) {
        port.ShowMessage("Impossibile aprire\n\n" + engine::files::ShownPath(path), ui::kProgramCaption,
                         ui::Icon::Exclamation);
        return std::nullopt;
    }
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
    if (!CheckStorable(connection, records)) {
        return std::nullopt;
    }
    return records;
}

namespace {

// The census's check, begun on a thread of its own so that it reads the census while the file is
// read; its verdict is said where the census is read, as ForEachStructure says its own.
class CensusCheck {
  public:
    explicit CensusCheck(db::CDbConnection& connection) : connection_(connection) {
        if (const engine::Database* db = connection.Database()) {
            try {
                verdict_ = std::async(std::launch::async, [db] { return db->CheckIntactApart(); });
            } catch (const std::system_error&) {  // no thread to spare: checked in turn
            }
        }
    }
    ui::Outcome Verdict() {
        std::optional<engine::Status> verdict;
        if (verdict_.valid()) {
            verdict = verdict_.get();
        }
        return verdict ? connection_.Intact(*verdict) : connection_.CheckIntact();
    }

  private:
    db::CDbConnection& connection_;
    std::future<std::optional<engine::Status>> verdict_;
};

// The census beside the records of a file already read, structure by structure as it is read.
ui::Outcome Compare(db::CDbConnection& connection, const StructureRecords& records, CensusCheck& check,
                    CensusComparison& comparison) {
    CensusComparer comparer(records);
    if (!ForEachStructure(
            connection, [&comparer](const census::Structure& s) { comparer.Add(s); },
            [&check] { return check.Verdict(); })) {
        return ui::Outcome::Failed();
    }
    comparison = comparer.Take();
    return ui::Outcome::Done();
}

}  // namespace

ui::Outcome CompareCommunication(app::Session& session, const std::filesystem::path& path,
                                 CensusComparison& comparison) {
    const auto company = app::RequireWorkingCompany(session);
    if (!company) {
        return ui::Outcome::Failed();
    }
    CensusCheck check(*session.Connection());
    const auto list = ReadCommunicationFile(*session.Connection(), path, *company);
    return ui::Outcome::DoneIf(list && Compare(*session.Connection(), *list, check, comparison));
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
    CensusCheck check(*session.Connection());
    const auto list = ReadCommunicationFile(*session.Connection(), *path, *company);
    CensusComparison comparison;
    if (!list || !Compare(*session.Connection(), *list, check, comparison)) {
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
