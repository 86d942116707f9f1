// The communication file for the regional transport observatory.
#pragma once

#include <string>
#include <vector>

#include "exchange/StructureRecord.h"
#include "exchange/Validation.h"
#include "app/Session.h"

namespace exchange {

// The generation date check of the export dialog: DD/MM/YYYY or DD/MM/YY with "/", "." or "-" as
// separators, a real calendar date. On success the date is replaced by its "%02d/%02d/%04d" form;
// otherwise the refusal is shown and the text is left as it was.
[[nodiscard]] bool CheckGenerationDate(ui::Port& port, std::string& date);

// The lines of a communication file (without line ends): the tag with the number of records, the
// company and date lines, the records and the closing tag with the checksum.
std::vector<std::string> CommunicationLines(const CStructureRecordList& list, const std::string& tag);

// The records of the census in ID order as the lines of a communication file, each ended by CR LF,
// with their number and the running checksum carried on from the value it holds. Not done when the
// census cannot be read whole (the failure is shown).
struct CommunicationBody {
    std::string lines;
    std::size_t count = 0;
    std::int32_t checksum = 0;
};
ui::Outcome ReadCommunicationBody(db::CDbConnection& connection, CommunicationBody& body);

// "&Export Comunicazione". Done when the file was written.
ui::Outcome ExportCommunication(app::Session& session, const LocalDateTime& now = Now());

}  // namespace exchange
