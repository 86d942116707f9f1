// A structure read from and written to the rows of depositi: the one mapping between the census
// record and its columns.
#pragma once

#include "census/Structure.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "ui/Outcome.h"

namespace schema {

// The structure in the current row of a selection whose columns from `first` on are the 53 of
// census::ColumnList(); the identifier is left as it is. Texts lose their trailing blanks, titles
// are kept as stored; a null reads as 0 or the empty text. A failure is latched in the selection,
// which the reader checks once its loop is over.
void ReadStructure(db::CDbSelect& s, int first, census::Structure& out);
// The structure in the current row of a cursor on depositi, its identifier too, read as above. Not
// done when a field cannot be read (the failure is shown).
ui::Outcome ReadStructure(db::CDbTable& depositi, census::Structure& out);
// Sets every column but the identifier in the row begun on the cursor; stops at the first field
// refused (the failure is shown).
ui::Outcome SetStructureFields(db::CDbTable& depositi, const census::Structure& s);

}  // namespace schema
