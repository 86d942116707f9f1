#include "schema/Settings.h"

namespace schema {

ui::Outcome SeekSettingsRow(db::CDbTable& master) {
    return master.Seek({"0"});
}

ui::Outcome SeekOrAddSettingsRow(db::CDbTable& master) {
    if (SeekSettingsRow(master)) {
        return ui::Outcome::Done();
    }
    return ui::Outcome::DoneIf(master.AddNew() && master.SetField("codice", "0") &&
                               master.SetField("azienda", "0") && master.SetField("id_depo", "0") &&
                               master.Update() && SeekSettingsRow(master));
}

}  // namespace schema
