// The working company: the regional code of the company whose census the database holds, kept in
// column azienda of the settings row of master.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/DbConnection.h"
#include "app/Session.h"
#include "ui/Outcome.h"

namespace reg {

// The companies of regazi in order of name, each as "%04d - name"; nothing when they cannot be read.
std::optional<std::vector<std::string>> FillCompanyCombo(db::CDbConnection& connection);

// The first entry beginning with `prefix`, letters compared without case; -1 when none does.
int FindEntryWithPrefix(const std::vector<std::string>& entries, const std::string& prefix);

// The company dialog's OK check: the first four characters of the text must be digits (none gives
// 0) and name a listed company. On success `code` holds it; otherwise the refusal is shown.
[[nodiscard]] bool CheckCompanyEntry(ui::Port& port, const std::vector<std::string>& entries,
                                     const std::string& text, int& code);

// The working company read from the settings row; nothing (after the message about a missing master
// row) when the row cannot be found.
std::optional<int> ReadWorkingCompany(app::Session& session);

// The working company for a command that needs one: nothing (after the message) when the settings row
// is missing or no company has been chosen yet.
std::optional<int> RequireWorkingCompany(app::Session& session);

// "&Azienda": the company is chosen in the dialog and stored. Done when a choice was stored (not when
// the dialog was cancelled).
ui::Outcome SelectCompany(app::Session& session);

// Messages shared by the commands that need the working company.
void ShowMasterMissing(ui::Port& port);
void ShowNoWorkingCompany(ui::Port& port);

}  // namespace reg
