#include "widgets/FileList.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

#include "base/Trace.h"
#include "files/Folder.h"

namespace brimlet {

// The names as rows of a list, one column; each row's text is made only
// when it is shown.
class FileList::Model : public QAbstractListModel {
  public:
    Model(const NameList& names, QObject* parent) : QAbstractListModel(parent), names_(names) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(names_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
        return shownName(names_.at(index.row()));
    }

    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }
    void insert(int row, const std::function<void()>& change) {
        beginInsertRows({}, row, row);
        change();
        endInsertRows();
    }
    void remove(int row, const std::function<void()>& change) {
        beginRemoveRows({}, row, row);
        change();
        endRemoveRows();
    }

  private:
    const NameList& names_;
};

FileList::FileList(const FolderHandle& folder, const QString& pattern, QWidget* parent)
    : FileList(folder, pattern, parent, std::make_unique<FolderWatcher>(folder)) {}

FileList::FileList(const FolderHandle& folder, const QString& pattern, QWidget* parent,
                   std::unique_ptr<FolderWatcher> watcher)
    : QListView(parent),
      folder_(folder),
      pattern_(pattern),
      model_(new Model(bytes_, this)),
      watcher_(std::move(watcher)) {
    const QStringView inner = QStringView(pattern).mid(1).chopped(1);
    if (pattern.size() > 2 && pattern.startsWith(QLatin1Char('*')) &&
        pattern.endsWith(QLatin1Char('*')) && !inner.contains(QLatin1Char('*')) &&
        !inner.contains(QLatin1Char('?')) && !inner.contains(QLatin1Char('['))) {
        infixKey_ = sortKey(inner.toString());
    } else {
        anyOther_ = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                       QRegularExpression::CaseInsensitiveOption);
    }
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A click on a row chooses it. The focus arriving or a refresh may move
    // the current row too, but only the user chooses.
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && !fileName().isEmpty()) emit entryChosen();
    });
}

// The watcher's descriptor is readable while changes wait; each refresh
// takes them all, and only the names that changed are looked at again.
// Followed from the first fill on: until then the changes wait in the
// watcher, and the fill's read comes after them.
void FileList::followFolder() {
    if (notifier_ != nullptr || !watcher_ || watcher_->descriptor() < 0) return;
    notifier_ = new QSocketNotifier(watcher_->descriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &FileList::refresh);
}

FileList::~FileList() = default;

bool FileList::matches(const QString& name) const {
    if (!infixKey_.isEmpty()) return matchesKey({}, sortKey(name));
    return anyOther_.match(name).hasMatch();
}

// Letter case is ignored: an infix is looked for in the name's sort key.
// Any other pattern is matched against the name as shown.
bool FileList::matchesKey(QByteArrayView bytes, QByteArrayView key) const {
    if (!infixKey_.isEmpty()) {
        return ::memmem(key.data(), static_cast<size_t>(key.size()), infixKey_.constData(),
                        static_cast<size_t>(infixKey_.size())) != nullptr;
    }
    return anyOther_.match(shownName(bytes)).hasMatch();
}

// Whatever the user does that highlights an entry chooses it, so that the
// highlighted entry is always the one shown: the arrow, Home, End and Page
// keys, Space on the current row, typing a name's first letters, and a drag
// that ends on another row than the one it started on (a click is reported
// as clicked).
void FileList::keyPressEvent(QKeyEvent* event) {
    if (!filled_) emit fillWanted();
    const QByteArray before = file().name;
    QListView::keyPressEvent(event);
    // A key that moves the current row selects it even where it stays, as
    // Home on the first row does.
    const int key = event->key();
    const bool moves = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Home ||
                       key == Qt::Key_End || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    const QModelIndex current = currentIndex();
    if (moves && event->modifiers() == Qt::NoModifier && current.isValid() &&
        !selectionModel()->isSelected(current)) {
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
    }
    chooseIfHighlightChanged(before);
}

void FileList::mousePressEvent(QMouseEvent* event) {
    if (!filled_) emit fillWanted();
    highlightedAtPress_ = file().name;
    pressedIndex_ = indexAt(event->position().toPoint());
    QListView::mousePressEvent(event);
}

void FileList::mouseReleaseEvent(QMouseEvent* event) {
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool click =
        event->button() == Qt::LeftButton && released.isValid() && released == pressedIndex_;
    QListView::mouseReleaseEvent(event);
    if (!click) chooseIfHighlightChanged(highlightedAtPress_);
}

// Entries are told apart by their names' bytes: two may show alike.
void FileList::chooseIfHighlightChanged(const QByteArray& before) {
    const QByteArray now = file().name;
    if (!now.isEmpty() && now != before) emit entryChosen();
}

QString FileList::fileName() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

FolderFile FileList::file() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return FolderFile(folder_, selected.isEmpty()
                                   ? QByteArray()
                                   : bytes_.at(selected.first().row()).toByteArray());
}

qsizetype FileList::placeOf(const QByteArray& bytes, bool* listed) const {
    qsizetype low = 0;
    qsizetype high = bytes_.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (listedBefore(bytes_.at(middle).toByteArray(), bytes)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    *listed = low < bytes_.size() && bytes_.at(low) == bytes;
    return low;
}

qsizetype FileList::rowOf(const QString& name) const {
    qsizetype low = 0;
    qsizetype high = bytes_.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (listedBefore(shownName(bytes_.at(middle)), name)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < bytes_.size() && shownName(bytes_.at(low)) == name ? low : -1;
}

bool FileList::selectName(const QString& name) {
    const qsizetype row = rowOf(name);
    if (row < 0) return false;
    selectionModel()->setCurrentIndex(model_->index(static_cast<int>(row)),
                                      QItemSelectionModel::ClearAndSelect);
    emit entryChosen();
    return true;
}

void FileList::fill(const FolderEntries& entries) {
    const QByteArray selected = file().name;
    model_->reset([&] {
        bytes_.clear();
        links_.clear();
        for (qsizetype i = 0; i < entries.names.size(); ++i) {
            const QByteArrayView bytes = entries.names.at(i);
            if (!matchesKey(bytes, entries.keys.at(i))) continue;
            bytes_.append(bytes);
            if (!entries.links.isEmpty() && entries.links.contains(bytes.toByteArray())) {
                links_.insert(bytes.toByteArray());
            }
        }
    });
    filled_ = true;
    followFolder();
    bool listed = false;
    const qsizetype row = selected.isEmpty() ? -1 : placeOf(selected, &listed);
    if (listed) {
        selectionModel()->setCurrentIndex(model_->index(static_cast<int>(row)),
                                          QItemSelectionModel::ClearAndSelect);
    }
}

// When the selected entry goes, the list moves its current row to a
// neighbour; that entry was never shown, so it is left unselected. An
// entry whose name another file took (renamed over it) is not the one the
// viewer shows either, so that a command never acts on a file the user did
// not choose.
void FileList::refresh() {
    const QByteArray selected = file().name;
    const bool replaced = takeChanges().contains(selected);
    if (!selected.isEmpty() && (replaced || file().name != selected)) {
        selectionModel()->clearSelection();
    }
}

QSet<QByteArray> FileList::takeChanges() {
    FolderWatcher::Changes changes = watcher_->takeChanges();
    if (!filled_ || changes.everything) {
        fill(readFolderEntries(folder_));
        return {};
    }
    const QSet<QByteArray> changed = changes.names;
    // A link's target may have come or gone without the folder changing.
    changes.names.unite(links_);
    for (const QByteArray& bytes : std::as_const(changes.names)) {
        const QString name = shownName(bytes);
        if (!matches(name)) continue;
        const EntryKind kind = entryKind(folder_, bytes);
        if (kind.link) {
            links_.insert(bytes);
        } else {
            links_.remove(bytes);
        }
        bool listed = false;
        const int row = static_cast<int>(placeOf(bytes, &listed));
        if (kind.listed && !listed) {
            model_->insert(row, [&] { bytes_.insert(row, bytes); });
            qCDebug(traceLog).noquote() << "list +" << name;
        } else if (!kind.listed && listed) {
            model_->remove(row, [&] { bytes_.removeAt(row); });
            links_.remove(bytes);
            qCDebug(traceLog).noquote() << "list -" << name;
        }
    }
    return changed;
}

}  // namespace brimlet
