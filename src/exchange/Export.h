// The communication file for the regional transport observatory.
#pragma once

#include <string>
#include <vector>

#include "app/Session.h"
#include "exchange/StructureRecord.h"
#include "exchange/Validation.h"

namespace exchange {

// The generation date check of the export dialog: DD/MM/YYYY or DD/MM/YY with "/", "." or "-" as
// separators, a real calendar date. On success the date is replaced by its "%02d/%02d/%04d" form;
// otherwise the refusal is shown and the text is left as it was.
[[nodiscard]] bool CheckGenerationDate(ui::Port& port, std::string& date);

// The lines of a communication file (without line ends): the tag with the number of records, the
// company and date lines, the records and the closing tag with the checksum.
std::vector<std::string> CommunicationLines(const CStructureRecordList& list, const std::string& tag);

// "&Export Comunicazione". Done when the file was written.
ui::Outcome ExportCommunication(app::Session& session, const LocalDateTime& now = Now());

}  // namespace exchange
