#include "exchange/Export.h"

#include "app/WorkingCompany.h"
#include "engine/Value.h"
#include "exchange/TextFile.h"
#include "exchange/Validation.h"
#include "schema/CodeList.h"
#include "text/Text.h"

namespace exchange {

bool CheckGenerationDate(ui::Port& port, std::string& date) {
    const std::string typed = date.substr(0, 15);
    const auto isSeparator = [](char c) { return c == '/' || c == '.' || c == '-'; };
    bool legal = (typed.size() == 8 || typed.size() == 10) && isSeparator(typed[2]) && isSeparator(typed[5]);
    int day = 0, month = 0, year = 0;
    if (legal) {
        day = text::ReadInt(std::string_view(typed).substr(0, 2));
        month = text::ReadInt(std::string_view(typed).substr(3, 2));
        year = text::ReadInt(std::string_view(typed).substr(6));
        if (typed.size() == 8) {
            year += 2000;
        }
        legal = engine::IsValidDate(year, month, day);
    }
    if (!legal) {
        port.ShowMessage(
            "ATTENZIONE: la data di generazione \xE8 espressa in un formato illegale.\n\n"
            "Le date devono essere espresse nella forma GG/MM/AAAA.\n\n",
            ui::kProgramCaption, ui::Icon::Stop);
        return false;
    }
    date = text::FormatDate(day, month, year);
    return true;
}

namespace {

std::string OpeningLine(const std::string& tag, std::size_t count) {
    return "<" + tag + ">" + text::FormatInt(static_cast<std::int64_t>(count));
}

std::string CompanyLine(int company) {
    return "<Azienda=" + text::FormatInt(company) + ">";
}

std::string DateLine(const std::string& date) {
    return "<Data=" + date + ">";
}

std::string ClosingLine(const std::string& tag, std::int32_t checksum) {
    return "</" + tag + ">" + text::FormatInt(checksum);
}

}  // namespace

std::string CommunicationFile(const std::string& tag, int company, const std::string& date,
                              const CommunicationBody& body) {
    const std::string companyLine = CompanyLine(company);
    const std::string dateLine = DateLine(date);
    std::int32_t checksum = AddLineChecksum(AddLineChecksum(0, companyLine), dateLine);
    for (const std::int32_t line : body.lineChecksums) {
        checksum = AddChecksum(checksum, line);
    }
    const std::string opening = OpeningLine(tag, body.lineChecksums.size());
    const std::string closing = ClosingLine(tag, checksum);
    std::string file;
    file.reserve(opening.size() + companyLine.size() + dateLine.size() + body.lines.size() + closing.size() +
                 8);
    for (const std::string* line : {&opening, &companyLine, &dateLine}) {
        file += *line;
        file += "\r\n";
    }
    file += body.lines;
    file += closing;
    file += "\r\n";
    return file;
}

ui::Outcome ExportCommunication(app::Session& session, const LocalDateTime& now) {
    ui::Port& port = session.Port();
    const auto company = app::RequireWorkingCompany(session);
    if (!company) {
        return ui::Outcome::Failed();
    }
    // One reading of the census checks every structure and formats it for the file; the lines are
    // sent only when every structure passes.
    CommunicationBody body;
    if (ui::Outcome checked = CheckCensus(session, now, &body); !checked) {
        return checked;
    }
    ui::GenerationDateRequest dialog;
    auto companies = schema::FillCompanyCombo(*session.Connection());
    if (!companies) {
        return ui::Outcome::Failed();
    }
    dialog.companyEntries = std::move(*companies);
    dialog.company = *company;
    dialog.date = text::FormatDate(now.day, now.month, now.year);
    dialog.accept = [&port](std::string& date) { return CheckGenerationDate(port, date); };
    if (!port.AskGenerationDate(dialog)) {
        return ui::Outcome::Cancelled();
    }
    const ui::BusyScope busy(port, true);
    const auto path = port.ChooseFile(
        TextFileQuestion(ui::FileKind::Communication, true, "Generazione Comunicazione Strutture Aziendali",
                         "VariazioniVelumbra_" + text::FormatInt(*company), session.Path()));
    if (!path) {
        return ui::Outcome::Cancelled();
    }
    TextFileWriter file;
    file.AddLines(CommunicationFile("VariazioniVelumbra", *company, dialog.date, body));
    if (!CanCreate(*path) || !file.WriteTo(*path)) {
        ShowCannotCreate(port, *path);
        return ui::Outcome::Failed();
    }
    port.ShowMessage(
        text::Utf8ToCp1252Lossy("La comunicazione delle Strutture Aziendali è stata generata con successo\n"
                                "e può essere inoltrata all'Osservatorio Trasporti Regionale"),
        ui::kProgramCaption, ui::Icon::Information);
    return ui::Outcome::Done();
}

}  // namespace exchange
