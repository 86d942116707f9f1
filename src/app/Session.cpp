#include "app/Session.h"

#include "db/DbTable.h"
#include "schema/Dictionary.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace app {

ui::Outcome Session::OpenAssociatedDatabase(engine::Database::Access access) {
    if (path_.empty()) {
        return ui::Outcome::Failed();
    }
    auto connection =
        std::make_unique<db::CDbConnection>(port_, path_, engine::Database::Contents::WholeCensus, access);
    if (!connection->IsOpen()) {
        connection_.reset();
        path_.clear();
        return ui::Outcome::Failed();
    }
    // A later version's census, with columns this one does not know, is not worked on here.
    if (engine::Status known = schema::CheckKnownColumns(*connection->Database()); !known) {
        db::ShowDatabaseError(port_, "Errore in fase di apertura del database\n\n", known.description());
        connection_.reset();
        path_.clear();
        return ui::Outcome::Failed();
    }
    connection_ = std::move(connection);
    schema::SettingsRow settings(connection_.get());
    if (!settings.IsOpen()) {
        // The database stays connected: the person may still repair or replace it.
        port_.ShowMessage("Attenzione; non esiste il MASTER", ui::kProgramCaption, ui::Icon::Stop);
        return ui::Outcome::Failed();
    }
    if (access == engine::Database::Access::ReadOnly) {
        return settings.SelectKey();
    }
    return settings.SeekOrAdd();
}

std::string Session::Title() const {
    db::CDbConnection* connection = Connection();
    if (!connection) {
        return kProgramTitle;
    }
    std::string company;
    {
        schema::SettingsRow settings(connection);
        // Without a settings row, or one that could not be read (shown), the title names no company.
        if (!settings.Seek().found() || !settings.master().GetField("azienda", company)) {
            return kProgramTitle;
        }
    }
    std::string name = "Azienda non definita";
    {
        db::CDbTable regazi(connection, "regazi");
        // A company missing, or one that could not be read (shown), leaves the name undefined.
        if (regazi.SelectIndex("codice") && regazi.Seek({company}).found()) {
            regazi.GetField("denom", name).Ignore("a failure, shown, leaves the name undefined");
        }
    }
    text::TrimRightInPlace(name);
    return "VELUMBRA - Azienda " + text::FormatInt(text::ReadInt(company)) + " " + name;
}

}  // namespace app
