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
    // A click selects; the keyboard moves the selection. Either way the
    // entry counts as chosen once.
    connect(this, &QListView::clicked, this, &FileList::entryClicked);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!quiet_ && current.isValid()) emit entryClicked();
            });
    refresh();
}

void FileList::mousePressEvent(QMouseEvent* event) {
    quiet_ = true;
    QListView::mousePressEvent(event);
    quiet_ = false;
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
    return true;
}

void FileList::refresh() {
    const QString selected = fileName();
    quiet_ = true;
    const QStringList entries =
        QDir(folder_).entryList(QStringList{pattern_}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    model_->setStringList(entries);
    const qsizetype row = selected.isEmpty() ? -1 : entries.indexOf(selected);
    if (row >= 0) {
        const QModelIndex index = model_->index(static_cast<int>(row));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    quiet_ = false;
}

}  // namespace brimlet
