#include "register/StructureEditor.h"

#include "schema/CodeList.h"
#include "text/Text.h"

namespace reg {
namespace {

constexpr std::size_t kControlText = 63;

std::string Read(const std::string& text) {
    return text.substr(0, std::min(text.size(), kControlText));
}

}  // namespace

census::Structure BlankStructure() {
    return census::Structure{};
}

std::optional<std::vector<std::string>> FillComuneCombo(db::CDbConnection& connection) {
    return schema::CodeListEntries(connection, "regcom");
}

const std::array<const char*, 10>& ProvinceEntries() {
    static const std::array<const char*, 10> entries = {
        "AR - Arezzo",        "FI - Firenze", "GR - Grosseto", "LI - Livorno", "LU - Lucca",
        "MS - Massa Carrara", "PI - Pisa",    "PO - Prato",    "PT - Pistoia", "SI - Siena"};
    return entries;
}

const std::vector<std::string>& TitleEntries() {
    static const std::vector<std::string> entries = {
        "  - Non Utilizzato", text::Utf8ToCp1252Lossy("A - Proprietà"), "B - Affitto, leasing o simili",
        "C - Comodato gratuito"};
    return entries;
}

std::string TextFromControl(const std::string& text) {
    return text::TrimRight(Read(text));
}

int ComuneFromControl(const std::string& text) {
    const int code = text::ReadInt(Read(text).substr(0, 4));
    return code != 0 ? code : -1;
}

std::string ProvinceFromControl(const std::string& text) {
    return text::TrimRight(Read(text).substr(0, 2));
}

char TitleFromControl(const std::string& text) {
    const char first = text.empty() ? '\0' : text[0];
    return first == 'A' || first == 'B' || first == 'C' ? first : ' ';
}

std::int32_t NumberFromControl(const std::string& text) {
    return text::ReadInt(Read(text));
}

std::string NumberForControl(std::int64_t value) {
    return value < 0 ? std::string() : text::FormatInt(value);
}

int TitleEntryFor(char title) {
    const std::vector<std::string>& entries = TitleEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i][0] == title) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CheckAndAccept(ui::Port& port, census::Structure& v) {
    std::string missing;
    if (v.ubicaz.empty()) {
        missing += "Ubicazione; ";
    }
    if (v.local.empty()) {
        missing += text::Utf8ToCp1252Lossy("Località; ");
    }
    if (v.comune < 0) {
        missing += "Comune; ";
    }
    if (v.provin.empty()) {
        missing += "Provincia; ";
    }
    if (std::none_of(v.flags.begin(), v.flags.end(), [](bool f) { return f; })) {
        missing += text::Utf8ToCp1252Lossy("Attività svolte;");
    }
    std::string surfaces;
    const auto declared = [](const std::string& owner, std::int64_t surface, const std::string& title) {
        return std::array<bool, 3>{!owner.empty(), surface != 0, census::TitleChar(title) != ' '};
    };
    const auto uncovered = declared(v.scoPro, v.scoSup, v.scoTit);
    const auto covered = declared(v.copPro, v.copSup, v.copTit);
    const auto consistent = [](const std::array<bool, 3>& d) { return d[0] == d[1] && d[1] == d[2]; };
    if (!consistent(uncovered)) {
        surfaces += "Errata Denuncia Superfici Scoperte\n";
    }
    if (!consistent(covered)) {
        surfaces += "Errata Denuncia Superfici Coperte\n";
    }
    if (!uncovered[0] && !uncovered[1] && !uncovered[2] && !covered[0] && !covered[1] && !covered[2]) {
        surfaces += text::Utf8ToCp1252Lossy("Denuncia proprietà superfici\n");
    }
    if (missing.empty() && surfaces.empty()) {
        if (v.scoPro.empty()) {
            v.scoPro.assign(1, ' ');
        }
        if (v.copPro.empty()) {
            v.copPro.assign(1, ' ');
        }
        return true;
    }
    std::string message = "ATTENZIONE; mancano i seguenti dati obbligatori:\n\n";
    if (!missing.empty()) {
        message += missing + "\n\n";
    }
    if (!surfaces.empty()) {
        message += surfaces + "\n";
    }
    message += "Occorre completare la scheda informativa !!!";
    port.ShowMessage(message, ui::kProgramCaption, ui::Icon::Information);
    return false;
}

}  // namespace reg
