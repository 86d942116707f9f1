// The command line answers each question by what it asks, whatever its wording.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/BatchPort.h"

namespace {

struct Streams {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out{std::tmpfile(), &std::fclose};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> messages{std::tmpfile(), &std::fclose};
    static std::string Read(std::FILE* f) {
        std::rewind(f);
        std::string s;
        for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
            s += static_cast<char>(c);
        }
        return s;
    }
};

ui::FileQuestion Question(ui::FileKind kind) {
    return ui::MakeFileQuestion(kind, true, "Un titolo qualsiasi", "NOME", "TXT", "");
}

TEST(BatchPortTest, EachFileAndConfirmationIsAnsweredByItsKind) {
    Streams streams;
    cli::BatchPort port(streams.out.get(), streams.messages.get(), cli::Encoding::Utf8,
                        {.confirm = false, .report = "r.txt", .output = "o.txt", .input = "i.txt"});
    EXPECT_EQ(port.ChooseFile(Question(ui::FileKind::Report)), "r.txt");
    EXPECT_EQ(port.ChooseFile(Question(ui::FileKind::Communication)), "o.txt");
    EXPECT_EQ(port.ChooseFile(Question(ui::FileKind::Acquisition)), "i.txt");
    EXPECT_EQ(port.ChooseFile(Question(ui::FileKind::NewDatabase)), std::nullopt);

    EXPECT_FALSE(port.Confirm({ui::ConfirmationKind::ReplaceCensus, "Procedere?", "", "3 strutture\nriga"}));
    EXPECT_EQ(Streams::Read(streams.out.get()), "3 strutture\n");
    EXPECT_EQ(Streams::Read(streams.messages.get()),
              "Procedere?\n[Annullato: nessuna modifica. Per confermare usare --yes]\n");

    cli::BatchPort allowed(streams.out.get(), streams.messages.get(), cli::Encoding::Utf8, {.confirm = true});
    EXPECT_TRUE(allowed.Confirm({ui::ConfirmationKind::ReplaceCensus, "Procedere?", "", ""}));
    // --yes confirms the import's replacement, not the desktop's own questions.
    EXPECT_FALSE(allowed.Confirm({ui::ConfirmationKind::Exit, "Uscire?", "", ""}));
    EXPECT_EQ(allowed.ChooseFile(Question(ui::FileKind::Report)), std::nullopt);
}

}  // namespace
