#include "census/Structure.h"

namespace census {
namespace {

// The longest texts the record reader takes: the four free texts, and the province.
constexpr std::size_t kMaxRecordText = 63;
constexpr std::size_t kMaxRecordProvince = 15;

Column Text(std::string name, int size, std::size_t readLimit, std::string_view label,
            std::string_view description, std::string Structure::*member) {
    return {std::move(name),    ColumnKind::Text,         size,  readLimit,
            std::string(label), std::string(description), member};
}

Column Number(std::string name, ColumnKind kind, std::string_view label, std::string_view description,
              ColumnMember member) {
    return {std::move(name), kind, 0, kMaxRecordField, std::string(label), std::string(description), member};
}

Column Flag(std::string name, ColumnKind kind, std::size_t index, std::string_view label,
            std::string_view description) {
    return Number(std::move(name), kind, label, description, FlagAt{index});
}

// The owner, the surface and the title of the uncovered or the covered areas: `prefix` begins their
// names, `kind` ("Scoperte", "Coperte") their labels, `areas` ("aree scoperte") their descriptions.
std::array<Column, 3> Area(const std::string& prefix, const std::string& kind, const std::string& areas,
                           std::string Structure::*owner, std::int64_t Structure::*surface,
                           std::string Structure::*title) {
    return {Text(prefix + "_pro", 40, kMaxRecordText, "Proprietà " + kind, "Proprietà delle " + areas, owner),
            Number(prefix + "_sup", ColumnKind::Long, "Superificie " + kind,
                   "Superficie delle " + areas + " (MQ)", surface),
            Text(prefix + "_tit", 1, kMaxRecordField, "Titolo " + kind, "Titolo di godimento delle " + areas,
                 title)};
}

}  // namespace

const std::array<Column, kRecordFields>& Columns() {
    static const std::array<Column, kRecordFields> columns = [] {
        std::array<Column, kRecordFields> c{};
        std::size_t i = 0;
        for (const Column& fixed : {
                 Text("ubicaz", 40, kMaxRecordText, "Ubicazione", "Ubicazione della struttura",
                      &Structure::ubicaz),
                 Text("local", 30, kMaxRecordText, "Località", "Località", &Structure::local),
                 Number("comune", ColumnKind::Integer, "Comune",
                        "Codice del Comune nel quale è ubicata la struttura", &Structure::comune),
                 Text("provin", 2, kMaxRecordProvince, "Provincia",
                      "Sigla della Provincia nella quale è ubicata la struttura", &Structure::provin),
                 Flag("deposito", ColumnKind::Boolean, 0, "Deposito", "Attività deposito"),
                 Flag("rifornim", ColumnKind::Boolean, 1, "Rifornimento",
                      "Attività rifornimento - pulizia veicoli"),
                 Flag("manutenz", ColumnKind::Boolean, 2, "Manutenzione", "Attività manutenzione veicoli"),
                 Flag("autostaz", ColumnKind::Boolean, 3, "Autostazione", "Attività autostazione - agenzia"),
                 Flag("capoattr", ColumnKind::Boolean, 4, "Capolinea attrezzato",
                      "Attività capolinea attrezzato"),
                 Flag("agenzia", ColumnKind::Boolean, 5, "Agenzia", "Agenzia"),
                 // The administrative activity is a number column.
                 Flag("direzle", ColumnKind::Integer, 6, "Direzionale",
                      "Attività direzionale amministrativa"),
             }) {
            c[i++] = fixed;
        }
        for (const auto& area : {Area("sco", "Scoperte", "aree scoperte", &Structure::scoPro,
                                      &Structure::scoSup, &Structure::scoTit),
                                 Area("cop", "Coperte", "aree coperte", &Structure::copPro,
                                      &Structure::copSup, &Structure::copTit)}) {
            for (const Column& column : area) {
                c[i++] = column;
            }
        }
        // A count's name, label and description are made of its service's, length class's and use's.
        struct Part {
            const char* name;
            const char* label;
            const char* word;
        };
        constexpr Part services[kServiceCount] = {
            {"ext", "Ext", "extraurbani"}, {"sub", "Sub", "suburbani"}, {"urb", "Urb", "urbani"}};
        constexpr Part classes[kLengthClassCount] = {
            {"b", "Bipiano", "bipiano"}, {"a", "Articolati", "articolati"},
            {"l", "Lunghi", "lunghi"},   {"n", "Normali", "normali"},
            {"m", "Medi", "medi"},       {"c", "Corti", "corti"}};
        constexpr Part uses[kUseCount] = {{"s", "S", "servizio"}, {"r", "R", "riserva"}};
        for (std::size_t service = 0; service < kServiceCount; ++service) {
            for (std::size_t lengthClass = 0; lengthClass < kLengthClassCount; ++lengthClass) {
                for (std::size_t use = 0; use < kUseCount; ++use) {
                    const std::size_t n = CountIndex(service, lengthClass, use == 1);
                    const Part& s = services[service];
                    const Part& l = classes[lengthClass];
                    const Part& u = uses[use];
                    // The suburban short reserve is described with the urban wording.
                    const bool suburbanShortReserve =
                        service == 1 && lengthClass == kLengthClassCount - 1 && use == 1;
                    const char* word = suburbanShortReserve ? services[2].word : s.word;
                    c[kFirstCount + n] = Number(
                        std::string(s.name) + "_" + l.name + "_" + u.name, ColumnKind::Integer,
                        std::string(s.label) + " " + l.label + " " + u.label,
                        std::string("N.ro autobus ") + word + " " + l.word + " (" + u.word + ")", CountAt{n});
                }
            }
        }
        return c;
    }();
    return columns;
}

const std::string& ColumnList() {
    static const std::string list = [] {
        std::string s;
        for (const Column& c : Columns()) {
            s += s.empty() ? "" : ", ";
            s += c.name;
        }
        return s;
    }();
    return list;
}

}  // namespace census
