// The structure editor's logic: its lists, the reading of its controls' texts into working values,
// and the check of OK. The desktop's editor window calls these.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "db/DbConnection.h"
#include "ui/Port.h"

namespace reg {

// The editor's values of a new structure.
census::Structure BlankStructure();

// The municipalities of regcom in order of name, each as "%04d - name"; nothing when they cannot be
// read.
std::optional<std::vector<std::string>> FillComuneCombo(db::CDbConnection& connection);
// "AR - Arezzo" ... "SI - Siena".
const std::array<const char*, 10>& ProvinceEntries();
// "  - Non Utilizzato", "A - Proprietà", "B - Affitto, leasing o simili", "C - Comodato gratuito".
const std::vector<std::string>& TitleEntries();

// The readings of the controls' texts (at most 63 characters are read).
std::string TextFromControl(const std::string& text);      // trailing blanks removed
int ComuneFromControl(const std::string& text);            // first 4 characters; 0 or none gives -1
std::string ProvinceFromControl(const std::string& text);  // first 2 characters, trailing blanks removed
char TitleFromControl(const std::string& text);            // 'A', 'B', 'C', else a blank
std::int32_t NumberFromControl(const std::string& text);   // C-style decimal, 0 when none

// The texts the controls show.
std::string NumberForControl(std::int64_t value);  // "%d", or empty when negative
// The entry of the title list to select; -1 for none.
int TitleEntryFor(char title);

// The OK check: the mandatory data and the declaration of the surfaces. When something is missing the
// message says what, and false is returned; otherwise empty owners become a single blank (the census
// refuses empty texts) and true is returned.
[[nodiscard]] bool CheckAndAccept(ui::Port& port, census::Structure& values);

}  // namespace reg
