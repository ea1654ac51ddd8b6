#pragma once

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace brimlet {

// A list of the files of one folder whose names match a pattern, sorted by
// name as text. It reads the folder when created and at each refresh().
class FileList : public QListView {
    Q_OBJECT
  public:
    FileList(const QString& folder, const QString& pattern, QWidget* parent = nullptr);

    const QString& folder() const { return folder_; }
    const QString& pattern() const { return pattern_; }

    // The selected entry's bare name; empty when nothing is selected.
    QString fileName() const;
    QStringList names() const;

    // Reads the folder again; the selected name stays selected while it exists.
    void refresh();
    // Selects an entry and chooses it, as a click on it does; returns false
    // when it is not listed.
    bool selectName(const QString& name);

  signals:
    // The user chose an entry, by mouse or by keyboard.
    void entryClicked();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString folder_;
    QString pattern_;
    QStringListModel* model_;
};

}  // namespace brimlet
