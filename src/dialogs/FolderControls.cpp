#include "dialogs/FolderControls.h"

#include <QDir>
#include <QKeyEvent>
#include <QStorageInfo>

namespace brimlet {

DriveList::DriveList(const QString& workingFolder, QWidget* parent)
    : QComboBox(parent),
      workingFolder_(QDir(workingFolder).absolutePath()),
      workingDrive_(QStorageInfo(workingFolder).rootPath()) {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
    }
    if (!roots.contains(workingDrive_)) roots << workingDrive_;
    roots.removeDuplicates();
    roots.sort();
    addItems(roots);
    setCurrentIndex(static_cast<int>(roots.indexOf(workingDrive_)));
    connect(this, &QComboBox::activated, this, &DriveList::driveChanged);
}

QString DriveList::currentFolderOf(const QString& drive) const {
    return drive == workingDrive_ ? workingFolder_ : drive;
}

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::open);
}

void FolderList::open(const QListWidgetItem* item) {
    setPath(item->data(Qt::UserRole).toString());
}

// The arrow keys only move the highlight; the folder that is opened is the
// one the file is saved in.
void FolderList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool opens = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (opens && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (QListWidgetItem* item = currentItem(); item != nullptr && item->isSelected())
            open(item);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::setPath(const QString& path) {
    path_ = path;
    clear();
    const QDir dir(path);
    const QString absolute = dir.absolutePath();

    QStringList ancestors;
    for (QDir up(absolute);;) {
        ancestors.prepend(up.absolutePath());
        if (!up.cdUp()) break;
    }
    int depth = 0;
    for (const QString& folder : ancestors) {
        const QString name = folder == QStringLiteral("/") ? folder : QDir(folder).dirName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, folder);
        item->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        ++depth;
    }
    setCurrentRow(count() - 1);
    for (const QString& sub :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + sub, this);
        item->setData(Qt::UserRole, dir.filePath(sub));
        item->setIcon(style()->standardIcon(QStyle::SP_DirClosedIcon));
    }
}

}  // namespace brimlet
