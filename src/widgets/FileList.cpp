#include "widgets/FileList.h"

#include <QDir>
#include <QKeyEvent>
#include <QStringListModel>

namespace brimlet {

FileList::FileList(const QString& folder, const QString& pattern, QWidget* parent)
    : QListView(parent), folder_(folder), pattern_(pattern), model_(new QStringListModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A click on a row chooses it. The focus arriving, a refresh or a
    // deletion may move the current row too, but only the user chooses.
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && !fileName().isEmpty()) emit entryClicked();
    });
    refresh();
}

// The arrow, Home, End and Page keys (and typing a name's first letters)
// choose the row they move the selection to.
void FileList::keyPressEvent(QKeyEvent* event) {
    const QPersistentModelIndex before = currentIndex();
    QListView::keyPressEvent(event);
    const QModelIndex now = currentIndex();
    if (now.isValid() && now != before && selectionModel()->isSelected(now)) emit entryClicked();
}

QString FileList::fileName() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

QStringList FileList::names() const {
    return model_->stringList();
}

bool FileList::selectName(const QString& name) {
    const qsizetype row = model_->stringList().indexOf(name);
    if (row < 0) return false;
    selectionModel()->setCurrentIndex(model_->index(static_cast<int>(row)),
                                      QItemSelectionModel::ClearAndSelect);
    emit entryClicked();
    return true;
}

void FileList::refresh() {
    const QString selected = fileName();
    const QStringList entries =
        QDir(folder_).entryList(QStringList{pattern_}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    model_->setStringList(entries);
    const qsizetype row = selected.isEmpty() ? -1 : entries.indexOf(selected);
    if (row >= 0) {
        const QModelIndex index = model_->index(static_cast<int>(row));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

}  // namespace brimlet
