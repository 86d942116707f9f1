#include "exchange/Spreadsheet.h"

#include "app/WorkingCompany.h"
#include "engine/FileSystem.h"
#include "exchange/StructureRecord.h"
#include "exchange/Summary.h"
#include "exchange/TextFile.h"
#include "text/Text.h"

namespace exchange {

namespace {

std::string TitleField(const std::string& title) {
    const std::size_t kind = TitleKind(title);
    return kind == kNoTitle ? std::string() : text::Cp1252ToUtf8(TitleName(kind));
}

}  // namespace

std::string CsvField(std::string_view utf8) {
    const bool quoted = utf8.find_first_of(";\"\r\n") != std::string_view::npos ||
                        (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' ' ||
                                           utf8.front() == '\t' || utf8.back() == '\t'));
    if (!quoted) {
        return std::string(utf8);
    }
    std::string field = "\"";
    for (const char c : utf8) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    field += '"';
    return field;
}

std::string CsvRow(const std::vector<std::string>& utf8Fields) {
    std::string row;
    for (std::size_t i = 0; i < utf8Fields.size(); ++i) {
        if (i > 0) {
            row += ';';
        }
        row += CsvField(utf8Fields[i]);
    }
    return row;
}

const std::vector<std::string>& SpreadsheetHeadings() {
    static const std::vector<std::string> headings = [] {
        std::vector<std::string> h = {"N.ro", "Ubicazione", "Località", "Comune", "Prov"};
        for (std::size_t i = 0; i < census::kFlagCount; ++i) {
            h.push_back(text::Cp1252ToUtf8(ActivityName(i)));
        }
        for (const char* area : {"Aree Scoperte Riservate", "Superfici Coperte"}) {
            for (const char* title : {"Proprietà", "Superficie (MQ)", "Titolo"}) {
                h.push_back(std::string(area) + " " + title);
            }
        }
        for (std::size_t s = 0; s < census::kServiceCount; ++s) {
            std::string service = "MEZZI " + text::Cp1252ToUtf8(ServiceName(s));
            for (char& c : service) {
                c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            }
            for (std::size_t c = 0; c < census::kLengthClassCount; ++c) {
                for (const char* use : {"Servizio", "Riserva"}) {
                    h.push_back(service + " " + text::Cp1252ToUtf8(LengthClassName(c)) + " " + use);
                }
            }
        }
        return h;
    }();
    return headings;
}

std::vector<std::string> SpreadsheetFields(const census::Structure& s, const std::string& comuneName) {
    std::vector<std::string> f;
    f.reserve(SpreadsheetHeadings().size());
    f.push_back(text::FormatInt(s.id));
    for (const std::string* t : {&s.ubicaz, &s.local, &comuneName, &s.provin}) {
        f.push_back(text::Cp1252ToUtf8(*t));
    }
    for (const bool flag : s.flags) {
        f.push_back(flag ? "SI" : "");
    }
    f.push_back(text::Cp1252ToUtf8(s.scoPro));
    f.push_back(text::FormatInt(s.scoSup));
    f.push_back(TitleField(s.scoTit));
    f.push_back(text::Cp1252ToUtf8(s.copPro));
    f.push_back(text::FormatInt(s.copSup));
    f.push_back(TitleField(s.copTit));
    for (const int count : s.counts) {
        f.push_back(text::FormatInt(count));
    }
    return f;
}

ui::Outcome ExportSpreadsheet(app::Session& session) {
    ui::Port& port = session.Port();
    const auto company = app::RequireWorkingCompany(session);
    if (!company) {
        return ui::Outcome::Failed();
    }
    // The file is made in memory from one reading of the census, and written once it is whole.
    TextFileWriter file;
    std::size_t structures = 0;
    {
        const ui::BusyScope busy(port, true);
        const auto names = ReadMunicipalityNames(*session.Connection());
        if (!names) {
            return ui::Outcome::Failed();
        }
        file.AddLine("\xEF\xBB\xBF" + CsvRow(SpreadsheetHeadings()));
        ui::Outcome read = ForEachStructure(*session.Connection(), [&](const census::Structure& s) {
            file.AddLine(CsvRow(SpreadsheetFields(s, MunicipalityName(*names, s.comune))));
            ++structures;
        });
        if (!read) {
            return read;
        }
    }
    ui::FileQuestion question =
        ui::MakeFileQuestion(ui::FileKind::Spreadsheet, true, "Esporta per Foglio di Calcolo",
                             "CensimentoVelumbra_" + text::FormatInt(*company) + ".csv", "CSV",
                             "File CSV (separatore ;) (*.csv)|*.csv|Tutti i files (*.*)|*.*||");
    question.dialog.besideFile = session.Path();
    const auto path = port.ChooseFile(question);
    if (!path) {
        return ui::Outcome::Cancelled();
    }
    bool written = false;
    {
        const ui::BusyScope busy(port, true);
        written = CanCreate(*path) && file.WriteTo(*path);
    }
    if (!written) {
        ShowCannotCreate(port, *path);
        return ui::Outcome::Failed();
    }
    port.ShowMessage(text::Utf8ToCp1252Lossy("Il censimento è stato esportato con successo nel file\n\n") +
                         engine::files::ShownPath(*path) +
                         "\n\nStrutture esportate: " + text::FormatInt(static_cast<std::int64_t>(structures)),
                     ui::kProgramCaption, ui::Icon::Information);
    return ui::Outcome::Done();
}

}  // namespace exchange
