// The observatory's communication file: read, checked, confirmed, and put in place of the census.
#pragma once

#include <string>
#include <string_view>

#include "app/Session.h"
#include "exchange/StructureRecord.h"

namespace exchange {

enum class FileCheck {
    Valid,
    OtherCompany,  // the company line names another company
    Corrupt,       // any other rule broken
};

// Reads a whole communication file of the observatory (its bytes) for `company`. When valid, `list`
// holds the company, the date and every record in file order; otherwise it is left empty.
FileCheck ReadCommunication(std::string_view content, int company, CStructureRecordList& list);

// Deletes every structure; stops at the first failure (shown).
ui::Outcome DeleteAllStructures(db::CDbConnection& connection);
// Stores the records with identifiers 0, 1, 2 ..., then sets id_depo; `counter` grows by one per
// record tried. Stops at the first record that cannot be stored, which is shown (id_depo is then left
// alone).
ui::Outcome StoreStructures(db::CDbConnection& connection, const CStructureRecordList& list, int& counter);

// "&Import Comunicazione". The replacement runs in one transaction: when a record cannot be stored,
// the census stays exactly as it was. Done when the census was replaced.
ui::Outcome ImportCommunication(app::Session& session);

}  // namespace exchange
