// velumbra-cli on files whose folder holds letters outside Windows-1252, run as a separate process on
// Linux and on Windows alike (under wine): each file under its real name, each message naming it with
// "?" for the letters Windows-1252 lacks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Process.h"
#include "engine/FileSystem.h"
#include "support/TempDir.h"

namespace {

using engine::files::PathOfUtf8;
using engine::files::Utf8Of;
using testing_support::Outcome;
using testing_support::ReadFile;

TEST(CliPathTest, FilesInAFolderWithAnyLetter) {
    const testing_support::TempDir dir;
    const std::filesystem::path folder = dir.path() / PathOfUtf8("cartella \u0151 \u65E5\u672C");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::filesystem::path census = folder / "censimento.mdb";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), VELUMBRA_CLI_PATH);
        return testing_support::RunProgram(args, dir.path());
    };

    const Outcome created = run({"create", Utf8Of(census)});
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(census));
    // It opens: the title of a census with no company yet (a line, whatever ends it on the platform).
    const Outcome title = run({"company", Utf8Of(census)});
    EXPECT_TRUE(title.out.starts_with("VELUMBRA - Azienda 0 *** azienda non assegnata ***")) << title.out;
    ASSERT_EQ(run({"company", Utf8Of(census), "12"}).status, 0);

    const std::filesystem::path communication = folder / PathOfUtf8("variazioni \u65E5.txt");
    const Outcome exported =
        run({"export", Utf8Of(census), "--output", Utf8Of(communication), "--date", "06/12/2026"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(ReadFile(communication),
              "<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n</VariazioniVelumbra>2040\r\n");

    // Refused, the census is named with "?" for each letter Windows-1252 lacks, the rest as it is.
    const Outcome again = run({"create", Utf8Of(census)});
    EXPECT_EQ(again.status, 1);
    const std::string shown = Utf8Of(dir.path() / "cartella ? ??" / "censimento.mdb");
    EXPECT_NE(again.err.find("Il file '" + shown + "' esiste gi\u00E0."), std::string::npos) << again.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(census));
}

}  // namespace
