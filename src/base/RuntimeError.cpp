#include "base/RuntimeError.h"

namespace brimlet {

RuntimeError::RuntimeError(int number, QString text, QString detail)
    : std::runtime_error(text.toStdString()),
      number_(number),
      text_(std::move(text)),
      detail_(std::move(detail)) {}

RuntimeError RuntimeError::explained(const QString& sentence) const {
    RuntimeError error = *this;
    error.explanation_ = sentence;
    return error;
}

RuntimeError RuntimeError::overflow() {
    return {6, QStringLiteral("Overflow")};
}

RuntimeError RuntimeError::outOfMemory() {
    return {7, QStringLiteral("Out of memory")};
}

RuntimeError RuntimeError::internalError(const QString& what) {
    return {51, QStringLiteral("Internal error"), what};
}

RuntimeError RuntimeError::fileNotFound(const QString& path) {
    return {53, QStringLiteral("File not found"), path};
}

RuntimeError RuntimeError::fileAlreadyExists(const QString& path) {
    return {58, QStringLiteral("File already exists"), path};
}

RuntimeError RuntimeError::diskFull(const QString& path) {
    return {61, QStringLiteral("Disk full"), path};
}

RuntimeError RuntimeError::pathFileAccess(const QString& path, const QString& why) {
    return {75, QStringLiteral("Path/File access error"),
            why.isEmpty() ? path : path + QStringLiteral(": ") + why};
}

RuntimeError RuntimeError::invalidPicture(const QString& what) {
    return {481, QStringLiteral("Invalid picture"), what};
}

RuntimeError RuntimeError::cannotOpenClipboard() {
    return {521, QStringLiteral("Can't open Clipboard")};
}

QString runTimeErrorMessage(const RuntimeError& error) {
    QString message =
        QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.text());
    if (!error.explanation().isEmpty()) message += QStringLiteral("\n\n") + error.explanation();
    return message;
}

}  // namespace brimlet
