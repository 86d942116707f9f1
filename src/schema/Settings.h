// The settings row of master: the row whose codice is 0, holding the working company (azienda) and
// the next structure identifier (id_depo).
#pragma once

#include "db/DbTable.h"
#include "ui/Outcome.h"

namespace schema {

// Positions `master` (open, with index codice selected) on the settings row; done when it exists.
ui::Outcome SeekSettingsRow(db::CDbTable& master);
// The same, adding the row when it is missing: no company chosen yet, next structure 0.
ui::Outcome SeekOrAddSettingsRow(db::CDbTable& master);

}  // namespace schema
