#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <memory>

namespace brimlet {

class FolderWatcher;
struct FolderEntries;

// A list of the entries of one folder whose names match a pattern ("*.txt*":
// the names that hold ".txt", letter case ignored), in the order of
// listedBefore. The list changes only when it is filled or refreshed, and
// then shows exactly what a fresh read of the folder would show; a refresh
// looks again only at the names that changed since the last one.
class FileList : public QListView {
    Q_OBJECT
  public:
    FileList(const QString& folder, const QString& pattern, QWidget* parent = nullptr);
    // Watches the folder with `watcher` (set before the folder was read).
    FileList(const QString& folder, const QString& pattern, QWidget* parent,
             std::unique_ptr<FolderWatcher> watcher);
    ~FileList() override;

    const QString& folder() const { return folder_; }
    const QString& pattern() const { return pattern_; }
    bool matches(const QString& name) const;

    // The selected entry's bare name; empty when nothing is selected.
    QString fileName() const;
    const QStringList& names() const { return names_; }

    // Shows the matching names of a fresh read of the folder.
    void fill(const FolderEntries& entries);
    // Brings the list up to date with the folder; the selected name stays
    // selected while it is listed, and nothing is selected once it is gone.
    void refresh();
    // Selects an entry and chooses it, as a click on it does; returns false
    // when it is not listed.
    bool selectName(const QString& name);

  signals:
    // The user chose an entry, by mouse or by keyboard.
    void entryClicked();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    class Model;
    void chooseIfHighlightChanged(const QString& before);
    void takeChanges();
    qsizetype rowOf(const QString& name) const;  // -1 when not listed

    QString folder_;
    QString pattern_;
    bool matchesKey(const QString& name, const QByteArray& key) const;

    QByteArray infixKey_;          // "*infix*" patterns: a plain search in the sort key
    QRegularExpression anyOther_;  // any other pattern
    QStringList names_;
    QSet<QString> links_;  // listed names that are links: their targets may change
    Model* model_;
    std::unique_ptr<FolderWatcher> watcher_;
    bool filled_ = false;
    QString highlightedAtPress_;          // the selected name when a mouse button went down
    QPersistentModelIndex pressedIndex_;  // the row it went down on
};

}  // namespace brimlet
