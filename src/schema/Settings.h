// The settings row of master: the row whose codice is 0, holding the working company (azienda) and
// the next structure identifier (id_depo).
#pragma once

#include "db/DbConnection.h"
#include "db/DbTable.h"
#include "ui/Outcome.h"

namespace schema {

// master, opened on a connection, and the way to its settings row.
class SettingsRow {
  public:
    // Opens master on `connection`; a failure to open it is shown, and the row is then never found.
    explicit SettingsRow(db::CDbConnection* connection);

    bool IsOpen() const { return master_.IsOpen() != 0; }
    // Selects master's index codice, through which the row is sought; done when selected.
    ui::Outcome SelectKey();
    // Positions master on the settings row, the index selected first: the row found, missing, or a
    // failure, shown (a selection that failed is a failed seek).
    db::SeekResult Seek();
    // The same, adding the row when it is not found: no company chosen yet, next structure 0. Done when
    // master stands on the row.
    ui::Outcome SeekOrAdd();
    // master, standing on the row once it is found: its fields are read and changed through it.
    db::CDbTable& master() { return master_; }

  private:
    db::CDbTable master_;
};

}  // namespace schema
