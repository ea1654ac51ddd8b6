#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <memory>

#include "files/Files.h"
#include "files/Folder.h"

class QSocketNotifier;

namespace brimlet {

// A list of the entries of one folder whose names match a pattern ("*.txt*":
// the names that hold ".txt", letter case ignored), in the order of
// listedBefore. The list changes only when it is filled or refreshed, and
// then shows exactly what a fresh read of the folder would show; a refresh
// looks again only at the names that changed since the last one. Each entry
// keeps its name's bytes, which find the file even when the name is not
// UTF-8.
class FileList : public QListView {
    Q_OBJECT
  public:
    FileList(const FolderHandle& folder, const QString& pattern, QWidget* parent = nullptr);
    // Watches the folder with `watcher` (set before the folder was read).
    FileList(const FolderHandle& folder, const QString& pattern, QWidget* parent,
             std::unique_ptr<FolderWatcher> watcher);
    ~FileList() override;

    const FolderHandle& folder() const { return folder_; }
    const QString& pattern() const { return pattern_; }
    bool matches(const QString& name) const;

    // The selected entry's bare name as shown; empty when nothing is
    // selected.
    QString fileName() const;
    // The selected entry's file (its name as the folder spells it); an
    // empty name when nothing is selected.
    FolderFile file() const;
    // Every listed name as shown, in list order.
    QStringList names() const { return bytes_.shown(); }

    // Shows the matching names of a fresh read of the folder.
    void fill(const FolderEntries& entries);
    // Whether the list has been filled (or refreshed, which fills it).
    bool isFilled() const { return filled_; }
    // Brings the list up to date with the folder; the selected name stays
    // selected while it is listed, and nothing is selected once it is gone
    // or another file took its name. Runs by itself as soon as the folder
    // changes, so what other programs (a synchroniser) add or remove shows
    // at once; each entry added or removed so is traced ("list + NAME",
    // "list - NAME").
    void refresh();
    // Selects an entry and chooses it, as a click on it does; returns false
    // when it is not listed.
    bool selectName(const QString& name);

  signals:
    // The user chose an entry, by mouse or by keyboard.
    void entryChosen();
    // A key or a mouse button came before the list was filled: whoever
    // fills it should now, so that the input acts on the entries.
    void fillWanted();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    class Model;
    void chooseIfHighlightChanged(const QByteArray& before);
    // Returns the names the folder's notifications gave.
    QSet<QByteArray> takeChanges();
    // Refreshes whenever the folder changes.
    void followFolder();
    qsizetype rowOf(const QString& name) const;  // -1 when not listed, by name as shown
    // Where an entry of these bytes stands or would stand, and whether it is
    // there.
    qsizetype placeOf(const QByteArray& bytes, bool* listed) const;

    FolderHandle folder_;
    QString pattern_;
    bool matchesKey(QByteArrayView bytes, QByteArrayView key) const;

    QByteArray infixKey_;          // "*infix*" patterns: a plain search in the sort key
    QRegularExpression anyOther_;  // any other pattern
    NameList bytes_;               // each name's bytes, in list order
    QSet<QByteArray> links_;       // listed names that are links: their targets may change
    Model* model_;
    std::unique_ptr<FolderWatcher> watcher_;
    bool filled_ = false;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray highlightedAtPress_;       // the selected name when a mouse button went down
    QPersistentModelIndex pressedIndex_;  // the row it went down on
};

}  // namespace brimlet
