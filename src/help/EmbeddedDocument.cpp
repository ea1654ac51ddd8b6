#include "help/EmbeddedDocument.h"

#include <QDir>
#include <QFile>

#include "files/AtomicFile.h"

// The documents are linked in from a static library: register them before use.
static void registerDocuments() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(brimlet);
        return true;
    }();
    (void)registered;
}

namespace brimlet {

EmbeddedDocument::EmbeddedDocument(const QString& fileName) : fileName_(fileName) {
    registerDocuments();
}

QByteArray EmbeddedDocument::bytes() const {
    QFile file(QStringLiteral(":/documents/") + fileName_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString EmbeddedDocument::writeTo(const QString& folder) const {
    const QString path = QDir(folder).filePath(fileName_);
    writeFileReplacing(path, bytes());
    return path;
}

}  // namespace brimlet
