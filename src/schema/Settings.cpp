#include "schema/Settings.h"

namespace schema {

SettingsRow::SettingsRow(db::CDbConnection* connection) : master_(connection, "master") {}

ui::Outcome SettingsRow::SelectKey() {
    return master_.SelectIndex("codice");
}

db::SeekResult SettingsRow::Seek() {
    if (!SelectKey()) {
        return db::SeekResult::Failed(0);
    }
    return master_.Seek({"0"});
}

ui::Outcome SettingsRow::SeekOrAdd() {
    if (!SelectKey()) {
        return ui::Outcome::Failed();
    }
    switch (master_.Seek({"0"}).kind()) {
        case db::SeekResult::Kind::Found:
            return ui::Outcome::Done();
        case db::SeekResult::Kind::NotFound:
        case db::SeekResult::Kind::Failed:  // shown; the row is added all the same, as for a missing one
            break;
    }
    return ui::Outcome::DoneIf(master_.AddNew() && master_.SetField("codice", "0") &&
                               master_.SetField("azienda", "0") && master_.SetField("id_depo", "0") &&
                               master_.Update() && master_.Seek({"0"}).found());
}

}  // namespace schema
