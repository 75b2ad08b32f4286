// Transfers in large blocks against tools/testftpd: files at the edges of a block and larger
// than any queue arrive byte for byte both ways and in both types, an abort stops at the next
// progress event however large the block, and a full disk fails a download and says so.
#include "ftp/custom_ftp_cli.h"
#include "tests/common/test_ftp_server.h"
#include "tests/ftp/ftp_test_support.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <system_error>

namespace tarn {

namespace {

namespace fs = std::filesystem;

using FtpBlocks = TLocalFolderTest;

constexpr std::size_t Down = TCustomFtpCli::DownloadBlockSize;
constexpr std::size_t Up = TCustomFtpCli::UploadBlockSize;
// More than the blocks of one upload pass and than the system's socket buffers on loopback.
constexpr std::size_t BeyondQueues = std::size_t(9) * 1024 * 1024 + 3;

// Lines of every length from 0 to 199 bytes, so that line ends fall on every offset of a block
// (and LF right where a block is full).
std::string TextLines(std::size_t Count)
{
    std::string text;
    for (std::size_t i = 0; text.size() < Count; ++i) {
        text.append(i % 200, char('a' + i % 26));
        text += '\n';
    }
    text.resize(Count);
    text.back() = '\n';
    return text;
}

TEST_F(FtpBlocks, FilesAtBlockEdgesAndBeyondEveryQueueRoundTripByteForByte)
{
    TTestFtpServer server;
    TFtpHarness h(server.Port(), "tester", "secret");
    h.Ftp.Timeout = 60;
    ASSERT_TRUE(h.Ftp.Connect());
    const struct
    {
        std::size_t Size;
        bool Binary;
    } cases[] = {{0, true},        {1, true},       {Up, true},           {Up + 1, true},
                 {Down - 1, true}, {Down, true},    {Down + 1, true},     {BeyondQueues, true},
                 {Up, false},      {Up + 1, false}, {3 * Down + 5, false}};
    for (const auto &c : cases) {
        const std::string name = std::to_string(c.Size) + (c.Binary ? ".bin" : ".txt");
        const std::string bytes =
            c.Binary ? RandomBytes(c.Size, unsigned(c.Size)) : TextLines(c.Size);
        WriteFile(Local("up-" + name), bytes);
        h.Ftp.SetBinary(c.Binary);
        ASSERT_TRUE(h.Ftp.TypeSet());
        std::vector<int64_t> counts;
        h.Ftp.OnProgress = [&counts](TCustomFtpCli *, int64_t Count, bool &) {
            counts.push_back(Count);
        };
        h.Ftp.HostFileName = name;
        h.Ftp.LocalFileName = Local("up-" + name);
        ASSERT_TRUE(h.Ftp.Put()) << name << ": " << h.Ftp.ErrorMessage();
        // One progress event before every block, with the running count, ending at the end.
        ASSERT_FALSE(counts.empty()) << name;
        EXPECT_EQ(counts.front(), 0) << name;
        EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end())) << name;
        if (c.Binary) {
            EXPECT_EQ(counts.back(), int64_t(c.Size)) << name;
            EXPECT_EQ(counts.size(), (c.Size + Up - 1) / Up + 1) << name;
            EXPECT_TRUE(ReadFile(server.Root() + "/" + name) == bytes) << name;
        }
        counts.clear();
        h.Ftp.LocalFileName = Local("down-" + name);
        ASSERT_TRUE(h.Ftp.Get()) << name << ": " << h.Ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(Local("down-" + name)) == bytes) << name;
    }
}

TEST_F(FtpBlocks, AnAbortStopsAtTheNextProgressEventInBothDirections)
{
    TTestFtpServer server;
    const std::string content = RandomBytes(4 * Down, 21);
    WriteFile(server.Root() + "/big.bin", content);
    WriteFile(Local("up.bin"), content);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.TypeSet());
    for (const bool upload : {false, true}) {
        int events = 0;
        int64_t stoppedAt = -1;
        h.Ftp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
            ++events;
            if (Count > 0 && stoppedAt < 0) {
                Abort = true;
                stoppedAt = Count;
            }
        };
        h.Ftp.HostFileName = upload ? "up.bin" : "big.bin";
        h.Ftp.LocalFileName = Local(upload ? "up.bin" : "down.bin");
        EXPECT_FALSE(upload ? h.Ftp.Put() : h.Ftp.Get()) << upload;
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Transfer aborted") << upload;
        // Stopped right after the first block: no event after the one that aborted.
        EXPECT_EQ(events, 2) << upload;
        EXPECT_LE(stoppedAt, int64_t(upload ? Up : Down)) << upload;
        if (upload)
            EXPECT_LE(fs::file_size(server.Root() + "/up.bin"), Up);
        else
            EXPECT_FALSE(fs::exists(Local("down.bin")));
        h.Ftp.OnProgress = nullptr;
        EXPECT_TRUE(h.Ftp.Pwd()) << upload; // the session goes on
    }
}

// A tmpfs of 256 KiB mounted in a mount namespace of this test process alone.
bool MountSmallTmpfs(const std::string &Folder)
{
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=256k") == 0;
}

TEST_F(FtpBlocks, ADownloadOntoAFullDiskFailsAndSaysSo)
{
    fs::create_directory(Local("small"));
    if (!MountSmallTmpfs(Local("small")))
        GTEST_SKIP() << "no mount namespace here (needs root): "
                     << std::generic_category().message(errno);
    TTestFtpServer server;
    WriteFile(server.Root() + "/big.bin", RandomBytes(3 * Down, 22));
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.TypeSet());
    WriteFile(Local("small/big.bin"), "old");
    h.Ftp.HostFileName = "big.bin";
    h.Ftp.LocalFileName = Local("small/big.bin");
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_TRUE(h.Logged("! Error writing local file"));
    EXPECT_EQ(h.Ftp.ErrorMessage(), "550 Error writing local file " + Local("small/big.bin") +
                                        ": No space left on device");
    EXPECT_EQ(ReadFile(Local("small/big.bin")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(Local("small")), fs::directory_iterator()), 1);
    EXPECT_TRUE(h.Ftp.Pwd()); // the session goes on
    ::umount(Local("small").c_str());
}

} // namespace

} // namespace tarn
