#include "register/Company.h"

#include <cctype>

#include "app/WorkingCompany.h"
#include "db/DbTable.h"
#include "schema/CodeList.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace reg {

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

ui::Outcome SelectCompany(app::Session& session) {
    ui::Port& port = session.Port();
    schema::SettingsRow settings(session.Connection());
    // A settings row that could not be read (shown) is missing as well.
    if (!settings.Seek().found()) {
        app::ShowMasterMissing(port);
        return ui::Outcome::Failed();
    }
    db::CDbTable& master = settings.master();
    std::string current;
    if (!master.GetField("azienda", current)) {
        return ui::Outcome::Failed();
    }
    auto entries = schema::FillCompanyCombo(*session.Connection());
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
