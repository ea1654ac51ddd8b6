#include "history/FileList.h"

#include <QDir>
#include <QStringListModel>

namespace brimlet {

FileList::FileList(const QString& folder, const QString& pattern, QWidget* parent)
    : QListView(parent), folder_(folder), pattern_(pattern), model_(new QStringListModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListView::clicked, this, &FileList::entryClicked);
    refresh();
}

QString FileList::fileName() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

QStringList FileList::names() const { return model_->stringList(); }

void FileList::refresh() {
    const QString selected = fileName();
    const QStringList entries = QDir(folder_).entryList(
        QStringList{pattern_}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    model_->setStringList(entries);
    const qsizetype row = selected.isEmpty() ? -1 : entries.indexOf(selected);
    if (row >= 0) {
        const QModelIndex index = model_->index(static_cast<int>(row));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

}  // namespace brimlet
