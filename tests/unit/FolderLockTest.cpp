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

// A private runtime folder for the test's locks (or none at all).
struct RuntimeFolder {
    explicit RuntimeFolder(bool present = true) : saved(qgetenv("XDG_RUNTIME_DIR")) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (present)
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    ~RuntimeFolder() { qputenv("XDG_RUNTIME_DIR", saved); }
    QString lockOf(const QString& folder) const {
        return dir.filePath(QString::fromLatin1(lockNameOf(folder)));
    }
    QTemporaryDir dir;
    QByteArray saved;
};

TEST(FolderLock, SaysWhyAFolderCannotBeLockedInsteadOfAnotherBrimletRuns) {
    QTemporaryDir dir;
    const RuntimeFolder runtime;
    const QString lockPath = runtime.lockOf(dir.path());
    // The capture folder holds no lock: a synchronised copy of it carries
    // nothing that could refuse a Brimlet on another machine, and a lock
    // file carried in from one (an older Brimlet's, held there) means
    // nothing here.
    testing::writeFile(dir.filePath(".brimlet.lock"), "4242\nBrimlet\nlaptop\n");

    // A folder where the lock file belongs.
    ASSERT_TRUE(QDir().mkdir(lockPath));
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
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{".brimlet.lock"});
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
    const QString movedLock = runtime.lockOf(folder + "-moved");
    claim.lock.reset();
    EXPECT_TRUE(QFile::exists(runtime.lockOf(folder)));
    EXPECT_FALSE(QFile::exists(movedLock));

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
    // In the private runtime folder, or without one as an abstract name.
    for (const bool privateFolder : {true, false}) {
        const RuntimeFolder runtime(privateFolder);
        auto first = lockFolder(dir.path());
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(first->isLocked());
        EXPECT_EQ(lockFolder(dir.path()), nullptr);
        first.reset();
        EXPECT_NE(lockFolder(dir.path()), nullptr);  // free again once the first has ended
    }
}

}  // namespace
}  // namespace brimlet
