// The choice of the working company: the company dialog's list and check, and the command that
// stores the choice in the settings row.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Session.h"
#include "db/DbConnection.h"
#include "ui/Outcome.h"

namespace reg {

// The first entry beginning with `prefix`, letters compared without case; -1 when none does.
int FindEntryWithPrefix(const std::vector<std::string>& entries, const std::string& prefix);

// The company dialog's OK check: the first four characters of the text must be digits (none gives
// 0) and name a listed company. On success `code` holds it; otherwise the refusal is shown.
[[nodiscard]] bool CheckCompanyEntry(ui::Port& port, const std::vector<std::string>& entries,
                                     const std::string& text, int& code);

// "&Azienda": the company is chosen in the dialog and stored. Done when a choice was stored (not when
// the dialog was cancelled).
ui::Outcome SelectCompany(app::Session& session);

}  // namespace reg
