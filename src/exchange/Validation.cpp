#include "exchange/Validation.h"

#include <algorithm>
#include <ctime>

#include "db/DbSelect.h"
#include "exchange/StructureRecord.h"
#include "exchange/TextFile.h"
#include "schema/CensusRow.h"
#include "text/Text.h"

namespace exchange {
namespace {

std::string It(const char* utf8) {
    return text::Utf8ToCp1252Lossy(utf8);
}

bool IsProvince(const std::string& p) {
    static const char* const kProvinces[] = {"AR", "FI", "PT", "PO", "LU", "MS", "PI", "LI", "GR", "SI"};
    return std::any_of(std::begin(kProvinces), std::end(kProvinces),
                       [&](const char* code) { return p == code; });
}

bool StartsWithSpace(const std::string& s) {
    return !s.empty() && s[0] == ' ';
}
bool IsTitle(const std::string& t) {
    return !t.empty() && (t[0] == 'A' || t[0] == 'B' || t[0] == 'C');
}

void CheckArea(const census::Structure& s, const std::string& owner, std::int64_t surface,
               const std::string& title, bool uncovered, CValidationErrorList& errors) {
    // The group is given when any of its three values is: an empty title counts as given.
    const bool given = !owner.empty() || surface != 0 || title.empty() || title[0] != ' ';
    if (!given) {
        return;
    }
    const char* kind = uncovered ? "scoperte" : "coperte";
    const auto add = [&](const std::string& utf8) { errors.push_back({s.id, s.ubicaz, It(utf8.c_str())}); };
    if (owner.empty()) {
        add(std::string("Manca proprietà aree ") + kind);
    }
    if (StartsWithSpace(owner)) {
        add(std::string("Proprietà aree ") + kind + " mal allineata (spazi in testa)");
    }
    if (surface == 0) {
        add(std::string("Manca superficie aree ") + kind);
    }
    if (!IsTitle(title)) {
        add(std::string("Manca titolo di possesso aree ") + kind);
    }
}

}  // namespace

void CheckStructure(const census::Structure& s, CValidationErrorList& errors) {
    const auto add = [&](const char* utf8) { errors.push_back({s.id, s.ubicaz, It(utf8)}); };
    if (s.ubicaz.empty()) {
        add("Manca ubicazione");
    }
    if (StartsWithSpace(s.ubicaz)) {
        add("Ubicazione mal allineata (spazi in testa)");
    }
    if (s.local.empty()) {
        add("Manca località");
    }
    if (StartsWithSpace(s.local)) {
        add("Località mal allineata (spazi in testa)");
    }
    if (s.comune == 0) {
        add("Manca il comune");
    }
    if (!IsProvince(s.provin)) {
        add("Manca la provincia");
    }
    if (std::none_of(s.flags.begin(), s.flags.end(), [](bool flag) { return flag; })) {
        add("Non è indicata neppure una attività");
    }
    CheckArea(s, s.scoPro, s.scoSup, s.scoTit, true, errors);
    CheckArea(s, s.copPro, s.copSup, s.copTit, false, errors);
}

LocalDateTime Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec};
}

std::vector<std::string> ReportLines(const CValidationErrorList& errors, const LocalDateTime& when,
                                     const std::string& databasePath) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d.%02d", when.day, when.month, when.year, when.hour,
                  when.minute);
    std::vector<std::string> lines = {std::string(72, '='),
                                      std::string(stamp) + " Report verifica situazione Strutture (Velumbra)",
                                      "Database: " + databasePath, std::string(72, '='), ""};
    for (const ValidationError& e : errors) {
        lines.push_back("ID=" + text::FormatInt(e.id) + " " + e.message);
    }
    return lines;
}

ui::FileQuestion TextFileQuestion(ui::FileKind kind, bool save, const std::string& title,
                                  const std::string& proposedName) {
    return ui::MakeFileQuestion(kind, save, title, proposedName, "TXT",
                                "File di testo (*.txt)|*.txt|Tutti i files (*.*)|*.*||");
}

void ShowCannotCreate(ui::Port& port, const std::string& path) {
    port.ShowMessage("Impossibile creare\n\n" + path, ui::kProgramCaption, ui::Icon::Exclamation);
}

ui::Outcome ValidateCensus(app::Session& session, const LocalDateTime& now, CValidationErrorList* found) {
    return CheckCensus(session, now, nullptr, found);
}

std::optional<CValidationErrorList> FindCensusErrors(app::Session& session, CommunicationBody* body) {
    if (!session.Connection()) {
        return std::nullopt;
    }
    CValidationErrorList errors;
    const ui::Outcome read = ForEachStructure(*session.Connection(), [&](const census::Structure& c) {
        CheckStructure(c, errors);
        if (body && errors.empty()) {  // once a structure fails, no line will be sent
            const std::size_t start = body->lines.size();
            AppendRecordLine(body->lines, c);
            body->lineChecksums.push_back(ComputeLineChecksum(std::string_view(body->lines).substr(start)));
            body->lines += "\r\n";
        }
    });
    if (body && !errors.empty()) {
        *body = CommunicationBody{};
    }
    if (!read) {
        return std::nullopt;  // the census could not be read whole: it is not known to be correct
    }
    return errors;
}

std::size_t StructuresWithErrors(const CValidationErrorList& errors) {
    // The failures of one structure follow one another.
    std::size_t structures = 0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        structures += i == 0 || errors[i].id != errors[i - 1].id ? 1 : 0;
    }
    return structures;
}

std::string ReadyToSendMessage() {
    return It(
        "La situazione delle strutture aziendali non contiene errori:\n"
        "la comunicazione può essere generata e inoltrata all'Osservatorio Trasporti Regionale.");
}

ui::Outcome VerifyCensus(app::Session& session, Verification& verification) {
    verification.chosen.reset();
    ui::Port& port = session.Port();
    const auto errors = FindCensusErrors(session, nullptr);
    if (!errors) {
        return ui::Outcome::Failed();
    }
    if (errors->empty()) {
        port.ShowMessage(ReadyToSendMessage(), "Verifica Censimento", ui::Icon::Information);
        return ui::Outcome::Done();
    }
    ui::CensusErrorsRequest request{*errors, std::min(verification.entry, errors->size() - 1),
                                    session.Title()};
    if (const auto entry = port.ShowCensusErrors(request); entry && *entry < errors->size()) {
        verification.entry = *entry;
        verification.chosen = (*errors)[*entry].id;
    }
    return ui::Outcome::Refused();
}

ui::Outcome CheckCensus(app::Session& session, const LocalDateTime& now, CommunicationBody* body,
                        CValidationErrorList* found) {
    ui::Port& port = session.Port();
    auto read = FindCensusErrors(session, body);
    if (!read) {
        return ui::Outcome::Failed();
    }
    const CValidationErrorList& errors = *read;
    if (found) {
        *found = errors;
    }
    if (errors.empty()) {
        return ui::Outcome::Done();
    }
    port.ShowMessage(It("ATTENZIONE: La situazione delle strutture aziendali contiene errori bloccanti.\n\n"
                        "La generazione della comunicazione da inoltrare all'Osservatorio Trasporti\n"
                        "non può pertanto essere effettuata.\n\n"
                        "E' necessario correggere gli errori presenti nel report che sta per essere\n"
                        "generato."),
                     ui::kProgramCaption, ui::Icon::Stop);
    // The census is refused whether or not its report is written.
    const auto path = port.ChooseFile(
        TextFileQuestion(ui::FileKind::Report, true, "Report Errori Riscontrati", "ERRORI_VELUMBRA"));
    if (!path) {
        return ui::Outcome::Refused();
    }
    TextFileWriter report;
    for (const std::string& line : ReportLines(errors, now, session.Path())) {
        report.AddLine(line);
    }
    if (!report.WriteTo(*path)) {
        ShowCannotCreate(port, *path);
    }
    return ui::Outcome::Refused();
}

}  // namespace exchange
