// The description of the tables of a database as the engine reads it back, in one text that tests
// compare: every table, with every attribute of its fields and indexes.
#pragma once

#include <string>

#include "engine/Database.h"
#include "support/Tables.h"

namespace engine_testing {

inline std::string Flag(bool set, const char* name) {
    return set ? std::string(" ") + name : std::string();
}

inline std::string Described(const engine::Database& db) {
    std::string out;
    for (const std::string& table : testing_support::CensusTableNames(db)) {
        out += "tabella " + table + "\n";
        auto fields = db.Fields(table);
        if (!fields) {
            return out + "  campi illeggibili: " + fields.description() + "\n";
        }
        for (const engine::FieldDef& f : *fields) {
            out += "  campo " + f.name + " tipo " + std::to_string(static_cast<int>(f.type)) + " dim " +
                   std::to_string(f.size) + " pos " + std::to_string(f.ordinalPosition) +
                   Flag(f.required, "obbligatorio") + Flag(f.allowZeroLength, "vuoto") + " regola [" +
                   f.validationRule + "] messaggio [" + f.validationText + "]\n";
        }
        auto indexes = db.Indexes(table);
        if (!indexes) {
            return out + "  indici illeggibili: " + indexes.description() + "\n";
        }
        for (const engine::IndexDef& i : *indexes) {
            out += "  indice " + i.name + " (";
            for (const std::string& c : i.columns) {
                out += " " + c;
            }
            out += " )" + Flag(i.primary, "primario") + Flag(i.unique, "univoco") +
                   Flag(i.clustered, "cluster") + Flag(i.ignoreNulls, "ignora_null") +
                   Flag(i.required, "obbligatorio") + "\n";
        }
    }
    return out;
}

}  // namespace engine_testing
