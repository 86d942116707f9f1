// The communication file for the regional transport observatory.
#pragma once

#include <string>

#include "app/Session.h"
#include "exchange/Clock.h"
#include "exchange/StructureRecord.h"

namespace exchange {

// The generation date check of the export dialog: DD/MM/YYYY or DD/MM/YY with "/", "." or "-" as
// separators, a real calendar date. On success the date is replaced by its "%02d/%02d/%04d" form;
// otherwise the refusal is shown and the text is left as it was.
[[nodiscard]] bool CheckGenerationDate(ui::Port& port, std::string& date);

// A whole communication file, every line ended by CR LF: the tag with the number of records, the
// company and date lines, the record lines of `body` and the closing tag with the checksum of the
// lines between the tags.
std::string CommunicationFile(const std::string& tag, int company, const std::string& date,
                              const CommunicationBody& body);

// "&Export Comunicazione". Done when the file was written.
ui::Outcome ExportCommunication(app::Session& session, const LocalDateTime& now = Now());

}  // namespace exchange
