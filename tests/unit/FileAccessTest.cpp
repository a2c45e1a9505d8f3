// Files as the command-line program meets them: the kind of a path, a small file read
// whole or refused with its reason, and bytes written into a FIFO without replacing it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/FileAccess.h"
#include "tests/support/ScratchFolder.h"

namespace kv::platform {
namespace {

using Status = FileBytes::Status;

TEST(FileAccessTest, ASmallFileIsReadWholeAndAnythingElseSaysWhy) {
    testing::ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string text = "[kv3380u]\nFormát=1\n";
    testing::WriteBytes(dir.File("a.ini"), text);
    FileBytes file = ReadSmallFile(dir.File("a.ini"), 100);
    EXPECT_EQ(file.status, Status::kRead);
    EXPECT_EQ(file.bytes, text);

    // One byte over the limit is too large, and says its size.
    testing::WriteBytes(dir.File("big.ini"), std::string(101, 'x'));
    file = ReadSmallFile(dir.File("big.ini"), 100);
    EXPECT_EQ(file.status, Status::kTooLarge);
    EXPECT_EQ(file.size, 101u);
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(ReadSmallFile(dir.File("big.ini"), 101).status, Status::kRead);

    EXPECT_EQ(ReadSmallFile(dir.File("none.ini"), 100).status, Status::kMissing);
    file = ReadSmallFile(dir.Path(), 100);
    EXPECT_EQ(file.status, Status::kNotAFile);
    EXPECT_EQ(file.reason, "je to složka");
    // A FIFO is refused at once, never waited for.
    ASSERT_EQ(mkfifo(dir.File("p").c_str(), 0600), 0);
    EXPECT_EQ(ReadSmallFile(dir.File("p"), 100).status, Status::kNotAFile);

    EXPECT_EQ(KindOfPath(dir.File("a.ini")), PathKind::kRegular);
    EXPECT_EQ(KindOfPath(dir.File("p")), PathKind::kFifo);
    EXPECT_EQ(KindOfPath(dir.Path()), PathKind::kDirectory);
    EXPECT_EQ(KindOfPath("/dev/null"), PathKind::kCharDevice);
    EXPECT_EQ(KindOfPath(dir.File("none")), PathKind::kAbsent);
    ASSERT_EQ(symlink(dir.File("p").c_str(), dir.File("link").c_str()), 0);
    EXPECT_EQ(KindOfPath(dir.File("link")), PathKind::kFifo);
}

TEST(FileAccessTest, BytesGoIntoAFifoThatStaysAFifo) {
    testing::ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string fifo = dir.File("p");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes(100'000, 'k');  // more than a pipe holds at once
    std::string got;
    // The reader comes after the writer has started, as with "kv3380u backup p & cat p".
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        got = testing::ReadBytes(fifo);
    });
    EXPECT_EQ(WriteIntoStream(fifo, bytes, std::chrono::seconds(30)), std::nullopt);
    testing::ReleaseFifoReader(fifo);
    reader.join();
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(KindOfPath(fifo), PathKind::kFifo);

    // Nobody reads: the wait ends, or a stop ends it sooner.
    EXPECT_EQ(WriteIntoStream(fifo, "x", std::chrono::milliseconds(100)), "FIFO nikdo nečte");
    EXPECT_EQ(WriteIntoStream(fifo, "x", std::chrono::seconds(60), [] { return true; }),
              "FIFO nikdo nečte");
    // A device takes them as they come; a full one says so.
    EXPECT_EQ(WriteIntoStream("/dev/null", bytes, std::chrono::seconds(1)), std::nullopt);
    EXPECT_EQ(WriteIntoStream("/dev/full", bytes, std::chrono::seconds(1)), "na disku není místo");
    // Anything else is not written into this way.
    testing::WriteBytes(dir.File("a.ini"), "old");
    EXPECT_NE(WriteIntoStream(dir.File("a.ini"), bytes, std::chrono::seconds(1)), std::nullopt);
    EXPECT_EQ(testing::ReadBytes(dir.File("a.ini")), "old");
}

// A file replaced whole stays the file it was to everything that names it: a symbolic
// link leads to the new content (also one that named no file yet), the owner and the
// permissions stay, and a file with other hard links is refused rather than cut off.
TEST(FileAccessTest, AReplacedFileKeepsItsLinksOwnerAndPermissions) {
    testing::ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    struct stat st {};

    // A link to a file that is not there yet: the file is made, the link stays a link.
    ASSERT_EQ(symlink("sub/new.ini", dir.File("dangling.ini").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0700), 0);
    ASSERT_TRUE(ReplaceFileContent(dir.File("dangling.ini"), "first")) << LastSystemError();
    ASSERT_EQ(lstat(dir.File("dangling.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(testing::ReadBytes(dir.File("sub/new.ini")), "first");
    // Through a chain of two links, to the file at its end.
    ASSERT_EQ(symlink("dangling.ini", dir.File("second.ini").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContent(dir.File("second.ini"), "second"));
    EXPECT_EQ(testing::ReadBytes(dir.File("sub/new.ini")), "second");
    EXPECT_EQ(dir.EntryCount(), 3u);  // no temporary file left beside anything

    // Permissions, and an owner other than the writer's where the writer may set one.
    const std::string owned = dir.File("owned.ini");
    testing::WriteBytes(owned, "old");
    ASSERT_EQ(chmod(owned.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(owned.c_str(), 12345, 23456), 0);
    }
    ASSERT_TRUE(ReplaceFileContent(owned, "new")) << SystemErrorText(LastSystemError());
    ASSERT_EQ(stat(owned.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 12345u);
        EXPECT_EQ(st.st_gid, 23456u);
    }
    EXPECT_EQ(testing::ReadBytes(owned), "new");

    // Hard links: refused with the reason, every name keeps the old content.
    const std::string linked = dir.File("linked.ini");
    testing::WriteBytes(linked, "both");
    ASSERT_EQ(link(linked.c_str(), dir.File("other-name.ini").c_str()), 0);
    EXPECT_FALSE(ReplaceFileContent(linked, "changed"));
    EXPECT_EQ(LastSystemError(), kErrorHardLinks);
    EXPECT_NE(SystemErrorText(LastSystemError()).find("pevné odkazy"), std::string::npos);
    EXPECT_EQ(testing::ReadBytes(linked), "both");
    EXPECT_EQ(testing::ReadBytes(dir.File("other-name.ini")), "both");
}

}  // namespace
}  // namespace kv::platform
