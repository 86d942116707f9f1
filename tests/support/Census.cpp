#include "support/Census.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/DbTable.h"
#include "exchange/Import.h"
#include "schema/Creation.h"
#include "text/Text.h"

namespace testing_support {
namespace {

// One database is created per run; each test works on a copy.
const std::filesystem::path& Template() {
    static TempDir folder;
    static const std::filesystem::path path = [] {
        ui::ScriptedPort port;
        const std::filesystem::path p = folder.path() / "template.mdb";
        if (!schema::CreateCensusDatabase(port, text::Utf8ToCp1252Lossy(p.string()), "")) {
            ADD_FAILURE() << "the census template could not be created";
        }
        return p;
    }();
    return path;
}

}  // namespace

Census::Census() {
    path = dir.File("VELUMBRA.MDB");
    std::filesystem::copy_file(Template(), dir.path() / "VELUMBRA.MDB");
    session.SetPath(path);
    EXPECT_TRUE(session.OpenAssociatedDatabase());
}

void Census::SetCompany(int code) {
    db::CDbTable master(session.Connection(), "master");
    ASSERT_TRUE(master.SelectIndex("codice"));
    ASSERT_TRUE(master.Seek({"0"}).found());
    ASSERT_TRUE(master.Edit());
    ASSERT_TRUE(master.SetField("azienda", text::FormatInt(code)));
    ASSERT_TRUE(master.Update());
}

void Census::Store(const std::vector<census::Structure>& records) {
    exchange::CStructureRecordList list{12, "06/12/2026", records};
    int counter = 0;
    db::CDbTransaction transaction(*session.Connection());
    ASSERT_TRUE(transaction.IsActive());
    ASSERT_TRUE(exchange::DeleteAllStructures(*session.Connection()));
    ASSERT_TRUE(exchange::StoreStructures(*session.Connection(), list, counter));
    ASSERT_TRUE(transaction.Commit());
}

census::Structure Census::ValidRecord(int seed) {
    census::Structure r;
    r.ubicaz = "VIA ROMA " + std::to_string(seed + 1);
    r.local = "Localit\xE0 " + std::to_string(seed);
    r.comune = 1 + seed % 300;
    static const char* const kProvinces[] = {"AR", "FI", "PT", "PO", "LU", "MS", "PI", "LI", "GR", "SI"};
    r.provin = kProvinces[seed % 10];
    r.flags[static_cast<std::size_t>(seed % 7)] = true;
    r.scoPro = "COMUNE";
    r.scoSup = 100 + seed;
    r.scoTit = "A";
    r.copPro = " ";  // as the import stores an empty field
    r.copSup = 0;
    r.copTit = " ";
    for (std::size_t i = 0; i < r.counts.size(); ++i) {
        r.counts[i] = static_cast<int>((i * 7 + static_cast<std::size_t>(seed)) % 5);
    }
    return r;
}

std::vector<std::string> Census::Rows() {
    std::vector<census::Structure> records;
    EXPECT_TRUE(exchange::ReadStructureRecords(*session.Connection(), records));
    std::vector<std::string> rows;
    for (const auto& r : records) {
        rows.push_back(std::to_string(r.id) + "\t" + exchange::FormatRecordLine(r));
    }
    return rows;
}

std::string Census::ReadFile(const std::string& name) const {
    std::ifstream in(dir.path() / name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void Census::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(dir.path() / name, std::ios::binary) << content;
}

}  // namespace testing_support
