#pragma once

#include <QComboBox>
#include <QListWidget>

namespace brimlet {

// The drives of the machine: on this platform, its mounted file systems,
// named by the folder they are mounted on.
class DriveList : public QComboBox {
    Q_OBJECT
  public:
    explicit DriveList(const QString& workingFolder, QWidget* parent = nullptr);

    QString drive() const { return currentText(); }
    // The folder a drive starts at: the working folder on the drive that holds
    // it, the drive's root on any other.
    QString currentFolderOf(const QString& drive) const;

  signals:
    void driveChanged();

  private:
    QString workingFolder_;
    QString workingDrive_;
};

// The folders around one path: its ancestors from the root down, then its
// subfolders. A double-click opens a folder, and so do Enter and Space on
// the highlighted one.
class FolderList : public QListWidget {
    Q_OBJECT
  public:
    explicit FolderList(QWidget* parent = nullptr);

    const QString& path() const { return path_; }
    void setPath(const QString& path);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void open(const QListWidgetItem* item);

    QString path_;
};

}  // namespace brimlet
