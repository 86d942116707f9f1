// The description of the four application tables, written into the dictionary of a new database.
#include <algorithm>
#include <vector>

#include "census/Structure.h"
#include "schema/Dictionary.h"
#include "text/Text.h"

namespace schema {
namespace {

struct Column {
    std::string name;
    char type;
    int size;
    std::string label;        // UTF-8
    std::string description;  // UTF-8
};

struct Table {
    std::string name;
    std::string title;
    std::string description;
    std::vector<Column> columns;
    std::string key;  // the one column of index "codice"
    std::string indexTitle;
    std::string indexDescription;
};

std::vector<Column> DepositiColumns() {
    std::vector<Column> columns = {{"ID", 'I', 0, "ID deposito", "ID Deposito"}};
    for (const census::Column& c : census::Columns()) {
        columns.push_back({c.name, static_cast<char>(c.kind), c.size, c.label, c.description});
    }
    return columns;
}

const Table& Master() {
    static const Table t{"master",
                         "RDG Principale",
                         "Contiene le impostazioni generali del sistema Censimento Velumbra",
                         {{"codice", 'I', 0, "Codice", "Codice = Zero"},
                          {"azienda", 'I', 0, "Codice Azienda", "Codice Regionale Azienda"},
                          {"id_depo", 'L', 0, "ID Deposito", "Prossimo ID univoco Deposito da assegnare"}},
                         "codice",
                         "Codice",
                         "Indice di comodo"};
    return t;
}

const Table& Regazi() {
    static const Table t{"regazi",
                         "Codici Regionali Azienda",
                         "Contiene la codificazione regionale delle Aziende",
                         {{"codice", 'I', 0, "Codice", "Contiene il codice regionale dell'Azienda"},
                          {"denom", 'A', 40, "Denominazione", "Contiene la denominazione dell'Azienda"}},
                         "codice",
                         "Codici Regionali Azienda",
                         "Elenca le aziende in ordine di codice regionale"};
    return t;
}

const Table& Regcom() {
    static const Table t{"regcom",
                         "Codici Regionali Comuni",
                         "Contiene la codificazione regionale dei Comuni Orvanesi",
                         {{"codice", 'I', 0, "Codice", "Contiene il codice regionale del Comune"},
                          {"denom", 'A', 40, "Denominazione", "Contiene la denominazione del Comune"}},
                         "codice",
                         "Codici Regionali Comuni",
                         "Elenca i Comuni Orvania in ordine di codice regionale"};
    return t;
}

const Table& Depositi() {
    static const Table t{"depositi",         "Depositi", "Contiene il censimento regionale dei depositi",
                         DepositiColumns(),  "ID",       "ID Deposito",
                         "Elenca i depositi"};
    return t;
}

// Columns, then the index, its column, and the table's own row: every column required, no rule. Stops
// at the first row that cannot be stored (its failure is shown).
ui::Outcome Describe(const Table& t, db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                     db::CDbTable& indici2) {
    for (const Column& c : t.columns) {
        if (!CDictionary::AddFieldEntry(campi, t.name, c.name, c.type, c.size, 1,
                                        text::Utf8ToCp1252Lossy(c.label),
                                        text::Utf8ToCp1252Lossy(c.description), std::nullopt, std::nullopt)) {
            return ui::Outcome::Failed();
        }
    }
    return ui::Outcome::DoneIf(CDictionary::AddIndexEntry(indici, t.name, "codice", 1,
                                                          text::Utf8ToCp1252Lossy(t.indexTitle),
                                                          text::Utf8ToCp1252Lossy(t.indexDescription)) &&
                               CDictionary::AddIndexColumnEntry(indici2, t.name, "codice", 0, t.key) &&
                               CDictionary::AddTableEntry(tavole, t.name, text::Utf8ToCp1252Lossy(t.title),
                                                          text::Utf8ToCp1252Lossy(t.description)));
}

}  // namespace

ui::Outcome CDictionary::DescribeMaster(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                                        db::CDbTable& indici2) {
    return Describe(Master(), tavole, campi, indici, indici2);
}

ui::Outcome CDictionary::DescribeRegazi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                                        db::CDbTable& indici2) {
    return Describe(Regazi(), tavole, campi, indici, indici2);
}

ui::Outcome CDictionary::DescribeRegcom(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                                        db::CDbTable& indici2) {
    return Describe(Regcom(), tavole, campi, indici, indici2);
}

ui::Outcome CDictionary::DescribeDepositi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                                          db::CDbTable& indici2) {
    return Describe(Depositi(), tavole, campi, indici, indici2);
}

engine::Status CheckKnownColumns(engine::Database& census) {
    for (const Table* table : {&Master(), &Regazi(), &Regcom(), &Depositi()}) {
        auto fields = census.Fields(table->name);
        if (!fields) {
            return fields.status();
        }
        for (const engine::FieldDef& field : *fields) {
            const bool known = std::any_of(
                table->columns.begin(), table->columns.end(),
                [&](const Column& c) { return text::LowerAscii(c.name) == text::LowerAscii(field.name); });
            if (!known) {
                return engine::Database::RefuseNewerLayout(census.path());
            }
        }
    }
    return engine::Status::Ok();
}

}  // namespace schema
