#include "schema/Dictionary.h"

#include <array>
#include <vector>

#include "db/DbSelect.h"
#include "text/Text.h"

namespace schema {
namespace {

using engine::FieldType;

struct SpecialColumn {
    const char* name;
    FieldType type;
    int size;
};

struct SpecialTable {
    const char* name;
    std::vector<SpecialColumn> columns;
    const char* index;
    std::vector<std::string> indexColumns;
};

const std::vector<SpecialTable>& SpecialTables() {
    static const std::vector<SpecialTable> tables = {
        {"tavole",
         {{"nome", FieldType::Text, 8}, {"denom", FieldType::Text, 30}, {"note", FieldType::Text, 240}},
         "nome",
         {"nome"}},
        {"campi",
         {{"tavola", FieldType::Text, 8},
          {"nome", FieldType::Text, 8},
          {"tipo", FieldType::Text, 1},
          {"size", FieldType::Integer, 0},
          {"obblig", FieldType::Boolean, 0},
          {"denom", FieldType::Text, 30},
          {"note", FieldType::Text, 240},
          {"regola", FieldType::Text, 240},
          {"mess", FieldType::Text, 240}},
         "nome",
         {"tavola", "nome"}},
        {"indici",
         {{"tavola", FieldType::Text, 8},
          {"nome", FieldType::Text, 8},
          {"primkey", FieldType::Boolean, 0},
          {"denom", FieldType::Text, 30},
          {"note", FieldType::Text, 240}},
         "nome",
         {"tavola", "nome"}},
        {"indici2",
         {{"tavola", FieldType::Text, 8},
          {"nome", FieldType::Text, 8},
          {"progr", FieldType::Integer, 0},
          {"campo", FieldType::Text, 8}},
         "elemento",
         {"tavola", "nome", "progr"}},
        {"relaz",
         {{"nome", FieldType::Text, 16}, {"interna", FieldType::Text, 8}, {"esterna", FieldType::Text, 8}},
         "nome",
         {"nome"}},
        {"relaz2",
         {{"nome", FieldType::Text, 16},
          {"progr", FieldType::Integer, 0},
          {"interno", FieldType::Text, 8},
          {"esterno", FieldType::Text, 8}},
         "elemento",
         {"nome", "progr"}},
        {"utenti",
         {{"nome", FieldType::Text, 8},
          {"denom", FieldType::Text, 30},
          {"passwd", FieldType::Text, 9},
          {"potere", FieldType::Integer, 0},
          {"progetto", FieldType::Integer, 0}},
         "nome",
         {"nome"}},
    };
    return tables;
}

constexpr int kMaxSlots = 10;

// Places the columns (or column pairs) of an index (or relation) at their positions. Positions must
// lie from 0 to 9 and leave no gap; `count` is the highest position plus one.
template <typename Slot>
engine::Status Place(std::array<std::optional<Slot>, kMaxSlots>& slots, int& count, int position, Slot slot) {
    if (position < 0 || position >= kMaxSlots) {
        return engine::Status::Error(text::Utf8ToCp1252Lossy(
            "La posizione " + std::to_string(position) + " è fuori dall'intervallo consentito (da 0 a 9)."));
    }
    slots[static_cast<std::size_t>(position)] = std::move(slot);
    count = std::max(count, position + 1);
    return engine::Status::Ok();
}

template <typename Slot>
engine::Status Collect(const std::array<std::optional<Slot>, kMaxSlots>& slots, int count,
                       std::vector<Slot>& out) {
    for (int i = 0; i < count; ++i) {
        if (!slots[static_cast<std::size_t>(i)]) {
            return engine::Status::Error(
                text::Utf8ToCp1252Lossy("Manca l'elemento in posizione " + std::to_string(i) +
                                        ": le posizioni devono essere consecutive."));
        }
        out.push_back(*slots[static_cast<std::size_t>(i)]);
    }
    return engine::Status::Ok();
}

bool BeginsWithOne(const std::string& s) {
    return !s.empty() && s[0] == '1';
}

}  // namespace

std::string SqlText(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

void CDictionary::Show(const std::string& text, const std::string& caption) {
    port_.ShowMessage(text, caption, ui::Icon::Exclamation);
}

ui::Outcome CDictionary::CreateSpecialTables(engine::Database& creation) {
    const ui::BusyScope busy(port_, false);
    const std::string caption = "Creazione Tavole Speciali";
    for (const SpecialTable& table : SpecialTables()) {
        const std::string name = table.name;
        auto def = creation.NewTableDef(name);
        if (!def) {
            Show("Errore inizializzazione tavola \"" + name + "\"\n\n" + def.description(), caption);
            return ui::Outcome::Failed();
        }
        int position = 0;
        for (const SpecialColumn& c : table.columns) {
            engine::Status added = def->AddField({.name = c.name,
                                                  .type = c.type,
                                                  .size = c.size,
                                                  .ordinalPosition = ++position,
                                                  .required = false,
                                                  .allowZeroLength = c.type == FieldType::Text});
            if (!added) {
                Show("Errore in fase di inserimento campo \"" + std::string(c.name) + "\"\n\n" +
                         added.description(),
                     caption);
                return ui::Outcome::Failed();
            }
        }
        engine::Status appended = creation.AppendTable(*def);
        if (!appended) {
            Show("Errore in fase di inserimento tavola \"" + name + "\"\n\n" + appended.description(),
                 caption);
        }
        engine::Status indexed = creation.CreateIndex(*def, {.name = table.index,
                                                             .columns = table.indexColumns,
                                                             .primary = false,
                                                             .unique = false,
                                                             .clustered = true,
                                                             .ignoreNulls = true,
                                                             .required = false});
        if (!indexed) {
            Show("Tavola \"" + name + "\": errore creazione indice \"" + table.index + "\"\n\n" +
                     indexed.description(),
                 caption);
        }
        if (!appended || !indexed) {
            return ui::Outcome::Failed();
        }
    }
    return ui::Outcome::Done();
}

namespace {

// Adds one row with the fields given, in order; stops at the first step that fails.
ui::Outcome AddRow(db::CDbTable& table, std::initializer_list<std::pair<const char*, std::string>> fields) {
    if (!table.AddNew()) {
        return ui::Outcome::Failed();
    }
    for (const auto& [name, value] : fields) {
        if (!table.SetField(name, value)) {
            return ui::Outcome::Failed();
        }
    }
    return table.Update();
}

}  // namespace

ui::Outcome CDictionary::AddTableEntry(db::CDbTable& tavole, const std::string& nome,
                                       const std::string& denom, const std::string& note) {
    return AddRow(tavole, {{"nome", nome}, {"denom", denom}, {"note", note}});
}

ui::Outcome CDictionary::AddFieldEntry(db::CDbTable& campi, const std::string& tavola,
                                       const std::string& nome, char tipo, int size, int obblig,
                                       const std::string& denom, const std::string& note,
                                       const std::optional<std::string>& regola,
                                       const std::optional<std::string>& mess) {
    return AddRow(campi, {{"tavola", tavola},
                          {"nome", nome},
                          {"tipo", std::string(1, tipo)},
                          {"size", text::FormatInt(size)},
                          {"obblig", obblig == 1 ? "1" : "0"},
                          {"denom", denom},
                          {"note", note},
                          {"regola", regola.value_or("")},
                          {"mess", mess.value_or("")}});
}

ui::Outcome CDictionary::AddIndexEntry(db::CDbTable& indici, const std::string& tavola,
                                       const std::string& nome, int primkey, const std::string& denom,
                                       const std::string& note) {
    return AddRow(indici, {{"tavola", tavola},
                           {"nome", nome},
                           {"primkey", primkey == 1 ? "1" : "0"},
                           {"denom", denom},
                           {"note", note}});
}

ui::Outcome CDictionary::AddIndexColumnEntry(db::CDbTable& indici2, const std::string& tavola,
                                             const std::string& nome, int progr, const std::string& campo) {
    return AddRow(indici2,
                  {{"tavola", tavola}, {"nome", nome}, {"progr", text::FormatInt(progr)}, {"campo", campo}});
}

ui::Outcome CDictionary::CreateTablesFromDictionary(db::CDbConnection& connection,
                                                    engine::Database& creation) {
    const ui::BusyScope busy(port_, false);
    db::CDbSelect tables(&connection);
    tables.SetColumns("nome");
    tables.SetFrom("tavole");
    tables.SetOrderBy("nome");
    for (int row = tables.Execute(); row == 1; row = tables.Next()) {
        std::string name;
        if (!tables.GetText("nome", name) || !CreateTableFromDictionary(name, connection, creation)) {
            return ui::Outcome::Failed();
        }
    }
    return ui::Outcome::DoneIf(!tables.Failed());
}

ui::Outcome CDictionary::CreateTableFromDictionary(const std::string& table, db::CDbConnection& connection,
                                                   engine::Database& creation) {
    const std::string caption = "Creazione Tavola \"" + table + "\"";
    auto def = creation.NewTableDef(table);
    if (!def) {
        Show("Errore inizializzazione tavola \"" + table + "\"\n\n" + def.description(), caption);
        return ui::Outcome::Failed();
    }
    bool result = true;
    {
        db::CDbSelect columns(&connection);
        columns.SetColumns("nome, tipo, size, obblig, regola, mess");
        columns.SetFrom("campi");
        columns.SetWhere("tavola = " + SqlText(table));
        int position = 0;
        for (int row = columns.Execute(); row == 1; row = columns.Next()) {
            std::string nome, tipo, size, obblig, regola, mess;
            columns.GetText("nome", nome);
            columns.GetText("tipo", tipo);
            columns.GetText("size", size);
            columns.GetText("obblig", obblig);
            columns.GetText("regola", regola);
            columns.GetText("mess", mess);
            engine::FieldDef field{.name = nome,
                                   .ordinalPosition = ++position,
                                   .required = BeginsWithOne(obblig),
                                   .validationRule = regola,
                                   .validationText = mess};
            engine::Status added = engine::Status::Ok();
            switch (tipo.empty() ? '\0' : tipo[0]) {
                case 'A':
                    field.type = FieldType::Text;
                    field.size = text::ReadInt(size);
                    field.allowZeroLength = !obblig.empty() && obblig[0] == '0';
                    break;
                case 'B':
                    field.type = FieldType::Boolean;
                    break;
                case 'D':
                    field.type = FieldType::Date;
                    break;
                case 'F':
                    field.type = FieldType::Double;
                    break;
                case 'I':
                    field.type = FieldType::Integer;
                    break;
                case 'L':
                    field.type = FieldType::Long;
                    break;
                case 'M':
                    field.type = FieldType::Memo;
                    break;
                case 'N':
                    field.type = FieldType::Currency;
                    break;
                case 'O':
                    field.type = FieldType::LongBinary;
                    break;
                default:
                    // A code outside the list has no type of its own: the column is refused.
                    added = engine::Status::Error(
                        text::Utf8ToCp1252Lossy("Il codice di tipo '") + tipo +
                        text::Utf8ToCp1252Lossy(
                            "' non è previsto (sono ammessi A, B, D, F, I, L, M, N, O)."));
                    break;
            }
            if (added) {
                added = def->AddField(field);
            }
            if (!added) {
                Show("Errore in fase di inserimento campo \"" + nome + "\"\n\n" + added.description(),
                     caption);
                return ui::Outcome::Failed();
            }
        }
        if (columns.Failed()) {
            return ui::Outcome::Failed();  // the columns read so far are not all the table has
        }
    }
    engine::Status appended = creation.AppendTable(*def);
    if (!appended) {
        Show("Errore in fase di inserimento tavola \"" + table + "\"\n\n" + appended.description(), caption);
        result = false;
    }
    db::CDbSelect indexes(&connection);
    indexes.SetColumns("nome, primkey");
    indexes.SetFrom("indici");
    indexes.SetWhere("tavola = " + SqlText(table));
    for (int row = indexes.Execute(); row == 1; row = indexes.Next()) {
        std::string nome, primkey;
        indexes.GetText("nome", nome);
        indexes.GetText("primkey", primkey);
        std::array<std::optional<std::string>, kMaxSlots> slots;
        int count = 0;
        engine::Status placed = engine::Status::Ok();
        {
            db::CDbSelect columns(&connection);
            columns.SetColumns("campo, progr");
            columns.SetFrom("indici2");
            columns.SetWhere("tavola = " + SqlText(table) + " AND nome = " + SqlText(nome));
            for (int c = columns.Execute(); c == 1 && placed; c = columns.Next()) {
                std::string campo, progr;
                columns.GetText("campo", campo);
                columns.GetText("progr", progr);
                placed = Place(slots, count, text::ReadInt(progr), campo);
            }
            if (columns.Failed()) {
                return ui::Outcome::Failed();
            }
        }
        engine::IndexDef index{.name = nome,
                               .primary = BeginsWithOne(primkey),
                               .unique = BeginsWithOne(primkey),
                               .clustered = true,
                               .ignoreNulls = true,
                               .required = false};
        if (placed) {
            placed = Collect(slots, count, index.columns);
        }
        engine::Status created = placed ? creation.CreateIndex(*def, index) : placed;
        if (!created) {
            Show("Tavola \"" + table + "\": errore creazione indice \"" + nome + "\"\n\n" +
                     created.description(),
                 caption);
            result = false;
        }
    }
    return ui::Outcome::DoneIf(result && !indexes.Failed());
}

ui::Outcome CDictionary::CreateRelations(db::CDbConnection& connection, engine::Database& creation) {
    bool result = true;
    db::CDbSelect relations(&connection);
    relations.SetColumns("nome, interna, esterna");
    relations.SetFrom("relaz");
    for (int row = relations.Execute(); row == 1; row = relations.Next()) {
        engine::RelationDef relation;
        relations.GetText("nome", relation.name);
        relations.GetText("interna", relation.table);
        relations.GetText("esterna", relation.foreignTable);
        using Pair = std::pair<std::string, std::string>;
        std::array<std::optional<Pair>, kMaxSlots> slots;
        int count = 0;
        engine::Status placed = engine::Status::Ok();
        {
            db::CDbSelect pairs(&connection);
            pairs.SetColumns("progr, interno, esterno");
            pairs.SetFrom("relaz2");
            pairs.SetWhere("nome = " + SqlText(relation.name));
            for (int p = pairs.Execute(); p == 1 && placed; p = pairs.Next()) {
                std::string progr, interno, esterno;
                pairs.GetText("progr", progr);
                pairs.GetText("interno", interno);
                pairs.GetText("esterno", esterno);
                placed = Place(slots, count, text::ReadInt(progr), Pair{interno, esterno});
            }
            if (pairs.Failed()) {
                return ui::Outcome::Failed();
            }
        }
        if (placed) {
            placed = Collect(slots, count, relation.fields);
        }
        engine::Status created = placed ? creation.CreateRelation(relation) : placed;
        if (!created) {
            port_.ShowMessage(
                "Errore creazione relazione \"" + relation.name + "\"\n\n" + created.description(),
                "Creazione relazioni", ui::Icon::Exclamation);
            result = false;
        }
    }
    return ui::Outcome::DoneIf(result && !relations.Failed());
}

}  // namespace schema
