#include "schema/Session.h"

#include "db/DbTable.h"
#include "text/Text.h"

namespace schema {

int Session::OpenAssociatedDatabase() {
    if (path_.empty()) {
        return 0;
    }
    auto connection = std::make_unique<db::CDbConnection>(port_, path_);
    if (!connection->IsOpen()) {
        connection_.reset();
        path_.clear();
        return 0;
    }
    connection_ = std::move(connection);
    db::CDbTable master(connection_.get(), "master");
    if (!master.IsOpen()) {
        port_.ShowMessage("Attenzione; non esiste il MASTER", ui::kProgramCaption, ui::Icon::Stop);
        return 1;
    }
    master.SelectIndex("codice");
    if (master.Seek({"0"}) == 0) {
        // The settings row is added when missing: no company chosen yet, next structure 0.
        master.AddNew();
        master.SetField("codice", "0");
        master.SetField("azienda", "0");
        master.SetField("id_depo", "0");
        master.Update();
    }
    return 1;
}

std::string Session::Title() const {
    db::CDbConnection* connection = Connection();
    if (!connection) {
        return kProgramTitle;
    }
    std::string company;
    {
        db::CDbTable master(connection, "master");
        master.SelectIndex("codice");
        if (master.Seek({"0"}) == 0) {
            return kProgramTitle;
        }
        master.GetField("azienda", company);
    }
    std::string name = "Azienda non definita";
    {
        db::CDbTable regazi(connection, "regazi");
        regazi.SelectIndex("codice");
        if (regazi.Seek({company}) == 1) {
            regazi.GetField("denom", name);
        }
    }
    text::TrimRightInPlace(name);
    return "VELUMBRA - Azienda " + text::FormatInt(text::ReadInt(company)) + " " + name;
}

}  // namespace schema
