// The completeness check of the census before an export, with its error report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Session.h"
#include "exchange/Clock.h"
#include "exchange/Rules.h"
#include "exchange/StructureRecord.h"

namespace exchange {

// The report: its header (date and time, database path as a message shows it) and one line per failure.
std::vector<std::string> ReportLines(const CValidationErrorList& errors, const LocalDateTime& when,
                                     const std::string& databasePath);

// Checks every structure in one reading of the census that also formats each structure into `body`
// (when given) for the export; on failures `body` is left empty. Nothing when the census could not be
// read whole (shown): it is not known to be correct.
std::optional<CValidationErrorList> FindCensusErrors(app::Session& session, CommunicationBody* body);

// Checks every structure, as ValidateCensus does, formatting them into `body` (when given) as
// FindCensusErrors does. `found`, when given, receives the failures.
ui::Outcome CheckCensus(app::Session& session, const LocalDateTime& now, CommunicationBody* body,
                        CValidationErrorList* found = nullptr);

// Done when every structure passes. Otherwise the blocking message is shown and the report written
// to the file the person chooses; not done. A census that cannot be read whole is not done either.
// `found`, when given, receives the failures.
ui::Outcome ValidateCensus(app::Session& session, const LocalDateTime& now = Now(),
                           CValidationErrorList* found = nullptr);

}  // namespace exchange
