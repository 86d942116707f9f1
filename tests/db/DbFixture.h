// A census-like database for the access layer's tests: one table of every type, opened through a
// connection whose messages a scripted port records.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "db/DbConnection.h"
#include "engine/Database.h"
#include "support/TempDir.h"
#include "ui/ScriptedPort.h"

class DbFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.File("db.mdb");
        auto created = engine::Database::Create(path, engine::kCensusLocale);
        ASSERT_TRUE(created.ok());
        auto& d = **created;
        auto def = *d.NewTableDef("prova");
        using engine::FieldType;
        ASSERT_TRUE(def.AddField({.name = "ID", .type = FieldType::Integer, .required = true}));
        ASSERT_TRUE(def.AddField({.name = "nome", .type = FieldType::Text, .size = 10, .required = true}));
        ASSERT_TRUE(
            def.AddField({.name = "note", .type = FieldType::Text, .size = 10, .allowZeroLength = true}));
        ASSERT_TRUE(def.AddField({.name = "attivo", .type = FieldType::Boolean}));
        ASSERT_TRUE(def.AddField({.name = "superf", .type = FieldType::Long}));
        ASSERT_TRUE(def.AddField({.name = "reale", .type = FieldType::Double}));
        ASSERT_TRUE(def.AddField({.name = "singolo", .type = FieldType::Single}));
        ASSERT_TRUE(def.AddField({.name = "importo", .type = FieldType::Currency}));
        ASSERT_TRUE(def.AddField({.name = "data", .type = FieldType::Date}));
        ASSERT_TRUE(def.AddField({.name = "dati", .type = FieldType::LongBinary}));
        ASSERT_TRUE(def.AddField({.name = "piccolo", .type = FieldType::Byte}));
        ASSERT_TRUE(d.AppendTable(def));
        ASSERT_TRUE(d.CreateIndex("prova", {.name = "codice", .columns = {"ID"}, .primary = true}));
        // Not a whole census: only the tables the tests make.
        connection = std::make_unique<db::CDbConnection>(port, path, engine::Database::Contents::CensusMark);
        ASSERT_TRUE(connection->IsOpen());
    }

    testing_support::TempDir dir;
    std::string path;
    ui::ScriptedPort port;
    std::unique_ptr<db::CDbConnection> connection;
};
