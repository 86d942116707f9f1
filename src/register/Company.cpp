#include "register/Company.h"

#include <cctype>

#include "db/DbTable.h"
#include "register/CodeList.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace reg {

std::optional<std::vector<std::string>> FillCompanyCombo(db::CDbConnection& connection) {
    return CodeListEntries(connection, "regazi");
}

int FindEntryWithPrefix(const std::vector<std::string>& entries, const std::string& prefix) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        if (entry.size() >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), entry.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CheckCompanyEntry(ui::Port& port, const std::vector<std::string>& entries, const std::string& text,
                       int& code) {
    const std::string kept = text.substr(0, std::min<std::size_t>(text.size(), 127)).substr(0, 4);
    bool valid = std::all_of(kept.begin(), kept.end(), [](char c) { return c >= '0' && c <= '9'; });
    int candidate = 0;
    if (valid) {
        candidate = text::ReadInt(kept);
        valid = FindEntryWithPrefix(entries, text::FormatIntZeroPadded(candidate, 4)) >= 0;
    }
    if (!valid) {
        port.ShowMessage(
            text::Utf8ToCp1252Lossy("ATTENZIONE: Il Codice Regionale Azienda non è valido.\n\n"
                                    "Occorre selezionare un Codice Regionale Azienda presente nella "
                                    "lista.\n\nI dati immessi non saranno registrati !!!"),
            ui::kProgramCaption, ui::Icon::Stop);
        return false;
    }
    code = candidate;
    return true;
}

void ShowMasterMissing(ui::Port& port) {
    port.ShowMessage(text::Utf8ToCp1252Lossy("ATTENZIONE: risulta impossibile trovare il MASTER\n\n"
                                             "Presumibilmente il DataBase è corrotto !!!"),
                     ui::kProgramCaption, ui::Icon::Stop);
}

void ShowNoWorkingCompany(ui::Port& port) {
    port.ShowMessage(
        text::Utf8ToCp1252Lossy("ATTENZIONE: non è stata ancora selezionata l'azienda di lavoro.\n\n"
                                "Per potere procedere oltre è necessario selezionare l'azienda"),
        ui::kProgramCaption, ui::Icon::Stop);
}

std::optional<int> ReadWorkingCompany(app::Session& session) {
    schema::SettingsRow settings(session.Connection());
    // A settings row that could not be read (shown) is missing as well.
    if (!settings.Seek().found()) {
        ShowMasterMissing(session.Port());
        return std::nullopt;
    }
    db::CDbTable& master = settings.master();
    std::string company;
    if (!master.GetFieldWithBlob("azienda", company)) {
        return std::nullopt;
    }
    return text::ReadInt(company);
}

std::optional<int> RequireWorkingCompany(app::Session& session) {
    const auto company = ReadWorkingCompany(session);
    if (company && *company <= 0) {
        ShowNoWorkingCompany(session.Port());
        return std::nullopt;
    }
    return company;
}

ui::Outcome SelectCompany(app::Session& session) {
    ui::Port& port = session.Port();
    schema::SettingsRow settings(session.Connection());
    // A settings row that could not be read (shown) is missing as well.
    if (!settings.Seek().found()) {
        ShowMasterMissing(port);
        return ui::Outcome::Failed();
    }
    db::CDbTable& master = settings.master();
    std::string current;
    if (!master.GetField("azienda", current)) {
        return ui::Outcome::Failed();
    }
    auto entries = FillCompanyCombo(*session.Connection());
    if (!entries) {
        return ui::Outcome::Failed();
    }
    ui::CompanyDialogRequest request;
    request.entries = std::move(*entries);
    const int selected =
        FindEntryWithPrefix(request.entries, text::FormatIntZeroPadded(text::ReadInt(current), 4));
    request.text = selected >= 0 ? request.entries[static_cast<std::size_t>(selected)] : "";
    int code = text::ReadInt(current);
    request.accept = [&](const std::string& typed) {
        return CheckCompanyEntry(port, request.entries, typed, code);
    };
    if (!port.ChooseCompany(request)) {
        return ui::Outcome::Cancelled();  // nothing to store
    }
    return ui::Outcome::DoneIf(master.Edit() && master.SetField("azienda", text::FormatInt(code)) &&
                               master.Update());
}

}  // namespace reg
