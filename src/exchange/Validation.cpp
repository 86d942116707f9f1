#include "exchange/Validation.h"

#include <cstdio>

#include "engine/FileSystem.h"
#include "exchange/TextFile.h"
#include "text/Text.h"

namespace exchange {

std::vector<std::string> ReportLines(const CValidationErrorList& errors, const LocalDateTime& when,
                                     const std::string& databasePath) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d.%02d", when.day, when.month, when.year, when.hour,
                  when.minute);
    std::vector<std::string> lines = {std::string(72, '='),
                                      std::string(stamp) + " Report verifica situazione Strutture (Velumbra)",
                                      "Database: " + databasePath, std::string(72, '='), ""};
    for (const ui::CensusError& e : errors) {
        lines.push_back("ID=" + text::FormatInt(e.id) + " " + e.message);
    }
    return lines;
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
            body->Add(c);
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
    port.ShowMessage(text::Utf8ToCp1252Lossy(
                         "ATTENZIONE: La situazione delle strutture aziendali contiene errori bloccanti.\n\n"
                         "La generazione della comunicazione da inoltrare all'Osservatorio Trasporti\n"
                         "non può pertanto essere effettuata.\n\n"
                         "E' necessario correggere gli errori presenti nel report che sta per essere\n"
                         "generato."),
                     ui::kProgramCaption, ui::Icon::Stop);
    // The census is refused whether or not its report is written.
    const auto path = port.ChooseFile(TextFileQuestion(
        ui::FileKind::Report, true, "Report Errori Riscontrati", "ERRORI_VELUMBRA", session.Path()));
    if (!path) {
        return ui::Outcome::Refused();
    }
    TextFileWriter report;
    for (const std::string& line : ReportLines(errors, now, engine::files::ShownPath(session.Path()))) {
        report.AddLine(line);
    }
    if (!report.WriteTo(*path)) {
        ShowCannotCreate(port, *path);
    }
    return ui::Outcome::Refused();
}

}  // namespace exchange
