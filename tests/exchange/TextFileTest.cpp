#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "exchange/TextFile.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path, const std::string& content = "half a census") {
    std::ofstream(path, std::ios::binary) << content;
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Read(const fs::path& path) {
    return exchange::ReadWholeFile(path.string()).value_or("(unreadable)");
}

// An open file holding the lock a writer holds on its temporary: on Windows a handle that does not
// share deletion, as the writer's (which shares nothing; this one lets the test read it).
class Locked {
  public:
#ifdef _WIN32
    explicit Locked(const fs::path& path)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    ~Locked() {
        ::CloseHandle(handle_);
    }
#else
    explicit Locked(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
    }
    ~Locked() {
        ::close(fd_);
    }
#endif
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
#ifdef _WIN32
    HANDLE handle_;
#else
    int fd_;
#endif
};

// The temporaries of writes killed half way go with the next write into the folder; those of writes
// still going on, and every file that is not one of ours, stay as they are.
TEST(TextFileWriter, TheNextWriteRemovesTheTemporariesNobodyHolds) {
    testing_support::TempDir dir;
    const fs::path folder = dir.path();
    const std::vector<std::string> stale = {".ComunicazioneVelumbra_12.velumbra.4242.0.tmp",
                                            ".out.txt.velumbra.1.17.tmp", "..hidden.velumbra.7.7.tmp"};
    for (const std::string& name : stale) {
        Touch(folder / name);
    }
    const std::string held = ".report.txt.velumbra.4243.0.tmp";
    Touch(folder / held);
    const std::vector<std::string> foreign = {".out.txt.4242.0.tmp",           ".out.txt.velumbra.4242.tmp",
                                              ".out.txt.velumbra.x.0.tmp",     "out.txt.velumbra.4242.0.tmp",
                                              ".out.txt.velumbra.4242.0.tmp~", ".velumbra.4242.0.tmp",
                                              "..velumbra.4242.0.tmp",         "notes.tmp"};
    for (const std::string& name : foreign) {
        Touch(folder / name, "not ours");
    }
    // Our pattern, but no regular file of ours: a folder, and a link to a file that must survive.
    fs::create_directory(folder / ".dir.velumbra.1.1.tmp");
    Touch(folder / "linked.txt", "linked");
#ifdef _WIN32
    Touch(folder / ".link.velumbra.1.1.tmp", "a link, on POSIX");  // links need a privilege on Windows
    const bool linked = false;
#else
    fs::create_symlink(folder / "linked.txt", folder / ".link.velumbra.1.1.tmp");
    const bool linked = true;
#endif

    std::set<std::string> expected;
    {
        const Locked writing(folder / held);
        exchange::TextFileWriter writer;
        writer.AddLine("riga");
        ASSERT_TRUE(writer.WriteTo((folder / "out.txt").string()));
        expected = {held, "out.txt", "linked.txt", ".dir.velumbra.1.1.tmp"};
        if (linked) {
            expected.insert(".link.velumbra.1.1.tmp");
        }
        expected.insert(foreign.begin(), foreign.end());
        EXPECT_EQ(Names(folder), expected);
        EXPECT_EQ(Read(folder / "out.txt"), "riga\r\n");
        EXPECT_EQ(Read(folder / held), "half a census");
        EXPECT_EQ(Read(folder / "linked.txt"), "linked");
        EXPECT_EQ(Read(folder / foreign[0]), "not ours");
    }
    // Its writer gone, the held one goes with the next write too, whatever that write's target.
    exchange::TextFileWriter other;
    ASSERT_TRUE(other.WriteTo((folder / "other.txt").string()));
    expected.erase(held);
    expected.insert("other.txt");
    EXPECT_EQ(Names(folder), expected);
}

// Two writers into one folder at once never take each other's temporary for a stale one.
TEST(TextFileWriter, ConcurrentWritesIntoOneFolderAllSucceed) {
    testing_support::TempDir dir;
    const auto writeMany = [&](const std::string& name, int& failures) {
        exchange::TextFileWriter writer;
        writer.AddLine(std::string(64 * 1024, 'x'));
        for (int i = 0; i < 100; ++i) {
            failures += writer.WriteTo((dir.path() / name).string()) ? 0 : 1;
        }
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a(writeMany, "a.txt", std::ref(failuresA));
    std::thread b(writeMany, "b.txt", std::ref(failuresB));
    a.join();
    b.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.txt", "b.txt"}));
}

// A write that fails says so, leaves the target as it was and no temporary behind.
TEST(TextFileWriter, AFailedWriteLeavesNoTemporary) {
    testing_support::TempDir dir;
    exchange::TextFileWriter writer;
    writer.AddLine("riga");

    // The temporary is written, but cannot be renamed over a folder.
    fs::create_directory(dir.path() / "out.txt");
    Touch(dir.path() / "out.txt" / "inside", "kept");
    EXPECT_FALSE(writer.WriteTo((dir.path() / "out.txt").string()));
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"out.txt"}));
    EXPECT_EQ(Read(dir.path() / "out.txt" / "inside"), "kept");

    // No temporary can be made where the folder is a file.
    Touch(dir.path() / "plain", "kept");
    EXPECT_FALSE(writer.WriteTo((dir.path() / "plain" / "out.txt").string()));
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"out.txt", "plain"}));
    EXPECT_EQ(Read(dir.path() / "plain"), "kept");

    EXPECT_FALSE(writer.WriteTo((dir.path() / "").string()));
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"out.txt", "plain"}));
}

#ifndef _WIN32
// A name that is a link, a pipe or a device is refused and left as it is: only a file is replaced.
TEST(TextFileWriter, OnlyAFileIsReplaced) {
    testing_support::TempDir dir;
    exchange::TextFileWriter writer;
    writer.AddLine("riga");
    Touch(dir.path() / "census.txt", "kept");
    fs::create_symlink(dir.path() / "census.txt", dir.path() / "link.txt");
    ASSERT_EQ(mkfifo((dir.path() / "pipe.txt").c_str(), 0600), 0);
    for (const fs::path& name : {dir.path() / "link.txt", dir.path() / "pipe.txt", fs::path("/dev/null")}) {
        EXPECT_FALSE(exchange::CanCreate(name.string())) << name;
        EXPECT_FALSE(writer.WriteTo(name.string())) << name;
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_TRUE(fs::is_fifo(dir.path() / "pipe.txt"));
    EXPECT_EQ(Read(dir.path() / "census.txt"), "kept");
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"census.txt", "link.txt", "pipe.txt"}));

    EXPECT_TRUE(exchange::CanCreate((dir.path() / "census.txt").string()));
    EXPECT_TRUE(writer.WriteTo((dir.path() / "census.txt").string()));
    EXPECT_EQ(Read(dir.path() / "census.txt"), "riga\r\n");
}
#endif

// A file's lines read from the file a piece at a time are the lines of its whole content, also where
// a line or its CR LF spans two pieces; a file that cannot be opened gives no lines and says so.
TEST(LineReader, AFileReadPieceByPieceGivesTheLinesOfItsContent) {
    const testing_support::TempDir dir;
    std::string content;
    for (int i = 0; content.size() < 300000; ++i) {
        content += std::string(static_cast<std::size_t>(i % 997), static_cast<char>('a' + i % 26));
        content += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r\r\n";
    }
    content += "the last, unended\r";
    const fs::path file = dir.path() / "lines.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << content;
    }
    exchange::LineReader reader(file);
    std::vector<std::string> read;
    while (const auto line = reader.Next()) {
        read.emplace_back(*line);
    }
    EXPECT_FALSE(reader.Failed());
    const auto lines = exchange::SplitLines(content);
    EXPECT_EQ(read, std::vector<std::string>(lines.begin(), lines.end()));
    EXPECT_EQ(read.back(), "the last, unended\r");

    exchange::LineReader missing(dir.path() / "manca.txt");
    EXPECT_FALSE(missing.Next());
    EXPECT_TRUE(missing.Failed());
    exchange::LineReader folder(dir.path());
    EXPECT_FALSE(folder.Next());
    EXPECT_TRUE(folder.Failed());
}

}  // namespace
