// A complete census database for the tests of the commands, copied from one made once per run, with
// the session that a front end would hold on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Session.h"
#include "exchange/StructureRecord.h"
#include "support/TempDir.h"
#include "ui/ScriptedPort.h"

namespace testing_support {

class Census {
  public:
    Census();
    ui::ScriptedPort port;
    TempDir dir;
    std::string path;
    app::Session session{port};

    // Sets the working company.
    void SetCompany(int code);
    // Stores structures with identifiers 0, 1, 2 ... (through the import's own writer).
    void Store(const std::vector<census::Structure>& records);
    // A record that passes every check.
    static census::Structure ValidRecord(int seed = 0);
    // The census as `list` prints it: ID and record line.
    std::vector<std::string> Rows();
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& content) const;
    std::string File(const std::string& name) const { return dir.File(name); }
};

}  // namespace testing_support
