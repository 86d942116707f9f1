#include "app/WorkingCompany.h"

#include "db/DbTable.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace app {

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

std::optional<int> ReadWorkingCompany(Session& session) {
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

std::optional<int> RequireWorkingCompany(Session& session) {
    const auto company = ReadWorkingCompany(session);
    if (company && *company <= 0) {
        ShowNoWorkingCompany(session.Port());
        return std::nullopt;
    }
    return company;
}

}  // namespace app
