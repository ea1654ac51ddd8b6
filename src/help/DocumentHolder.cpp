#include "help/DocumentHolder.h"

#include <QFile>

namespace brimlet {

DocumentHolder::DocumentHolder(const QString& fileName, QObject* parent)
    : QObject(parent), fileName_(fileName) {}

QByteArray DocumentHolder::bytes() const {
    QFile file(QStringLiteral(":/documents/") + fileName_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace brimlet
