#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include "../service/ServiceFixture.h"
#include "Injection.h"

namespace {

int FilesIn(const std::string& directory) {
    int n = 0;
    DIR* d = ::opendir(directory.c_str());
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
    return n;
}

}  // namespace

TEST_F(ServiceTest, AStateFileThatCannotBeWrittenLeavesBoardAndOldFileWhole) {
    BoardService& s = Start();
    Send("Anna", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 1; }));
    const std::string old = FileBytes(config.stateFile);

    failRenameWith = ENOSPC;
    const std::string said = "cannot write the state file " + config.stateFile +
                             ": cannot rename the new file over the old one: No space left on device";
    Send("Bert", 2, "out");
    ASSERT_TRUE(TickUntil([&] { return host.Count(said) == 1; }));
    Send("Carl", 3, "later");
    ASSERT_TRUE(TickUntil([&] { return s.Board().counters.stateWriteFailures.load() >= 2; }));
    EXPECT_EQ(host.Count(said), 1) << "once per distinct error";
    EXPECT_EQ(FileBytes(config.stateFile), old);
    EXPECT_EQ(FilesIn(config.stateFile.substr(0, config.stateFile.rfind('/'))), 1) << "no temporary file is left";
    EXPECT_EQ(s.Board().table.RowCount(), 3) << "the board serves on from memory";

    failRenameWith = 0;
    Send("Dora", 1, "back");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 4; }));
    EXPECT_EQ(host.Count("is written again"), 1);
    EXPECT_EQ(s.Stop(), 0);
}

TEST_F(ServiceTest, AStateFileThatCanBeNeitherReadNorSetAsideStopsTheStart) {
    ASSERT_EQ(::mkdir(config.stateFile.c_str(), 0700), 0);
    failRenameWith = EACCES;
    Start(1);
    failRenameWith = 0;
    EXPECT_EQ(host.ready, 0);
    EXPECT_EQ(host.Count("<3>state file " + config.stateFile + ": it cannot be read; it could not be renamed to " +
                         config.stateFile + ".unreadable: Permission denied; not starting"),
              1);
    struct stat st;
    EXPECT_TRUE(::stat(config.stateFile.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << "left as it was";
}
