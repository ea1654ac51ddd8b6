#include <gtest/gtest.h>

#include "common/QtPrinters.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "app/FolderLock.h"

namespace brimlet {
namespace {

TEST(FolderLock, SaysWhyAFolderCannotBeLockedInsteadOfAnotherBrimletRuns) {
    QTemporaryDir dir;
    const QString lockPath = dir.filePath(".brimlet.lock");

    // A folder where the lock file belongs.
    ASSERT_TRUE(QDir(dir.path()).mkdir(".brimlet.lock"));
    FolderClaim claim = claimFolder(dir.path());
    EXPECT_FALSE(claim.claimed());
    EXPECT_FALSE(claim.heldByAnother);
    EXPECT_TRUE(claim.problem.contains(lockPath + " is a folder")) << claim.problem.toStdString();
    ASSERT_TRUE(QDir(lockPath).removeRecursively());

    // A FIFO: said at once, never opened (which would wait for a writer).
    ASSERT_EQ(::mkfifo(QFile::encodeName(lockPath).constData(), 0600), 0);
    claim = claimFolder(dir.path());
    EXPECT_TRUE(claim.problem.contains("not a plain file")) << claim.problem.toStdString();
    ASSERT_TRUE(QFile::remove(lockPath));

    // A damaged lock file that no one holds is taken over.
    testing::writeFile(lockPath, "not a lock\n");
    claim = claimFolder(dir.path());
    EXPECT_TRUE(claim.claimed()) << claim.problem.toStdString();
    EXPECT_TRUE(claim.lock->isLocked());
    // While it is held, the folder is another Brimlet's.
    const FolderClaim second = claimFolder(dir.path());
    EXPECT_TRUE(second.heldByAnother);
    EXPECT_TRUE(second.problem.isEmpty());
    claim.lock.reset();

    // A lock file that cannot be read (root reads it all the same).
    if (::geteuid() != 0) {
        testing::writeFile(lockPath, "");
        ASSERT_TRUE(QFile::setPermissions(lockPath, QFileDevice::Permissions()));
        claim = claimFolder(dir.path());
        EXPECT_FALSE(claim.heldByAnother);
        EXPECT_TRUE(claim.problem.contains("cannot read its lock file " + lockPath))
            << claim.problem.toStdString();
        QFile::remove(lockPath);
    }

    // The lock stays the claimed folder's when that is moved: a new folder
    // under the old name is free, and letting go leaves its lock alone.
    const QString folder = dir.filePath("f20");
    ASSERT_TRUE(QDir().mkdir(folder));
    claim = claimFolder(folder);
    ASSERT_TRUE(QDir().rename(folder, folder + "-moved") && QDir().mkdir(folder));
    const FolderClaim other = claimFolder(folder);
    ASSERT_TRUE(other.claimed() && claimFolder(folder + "-moved").heldByAnother);
    claim.lock.reset();
    EXPECT_TRUE(QFile::exists(folder + "/.brimlet.lock"));
    EXPECT_FALSE(QFile::exists(folder + "-moved/.brimlet.lock"));

    // A folder that was deleted, by name or (the working folder) unnamed.
    const QString gone = dir.filePath("gone");
    claim = claimFolder(gone);
    EXPECT_TRUE(claim.problem.contains("The folder " + gone + " no longer exists"));
    claim = claimFolder(QString());
    EXPECT_TRUE(claim.problem.contains("no longer exists"));
    EXPECT_FALSE(claim.heldByAnother);
}

TEST(FolderLock, SecondProgramInTheSameFolderIsRefused) {
    QTemporaryDir dir;
    auto first = lockFolder(dir.path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(lockFolder(dir.path()), nullptr);
    first.reset();
    EXPECT_NE(lockFolder(dir.path()), nullptr);  // free again once the first has ended
}

}  // namespace
}  // namespace brimlet
