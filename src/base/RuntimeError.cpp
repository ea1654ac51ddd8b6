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
    return {Overflow, QStringLiteral("Overflow")};
}

RuntimeError RuntimeError::outOfMemory(const QString& detail) {
    return {OutOfMemory, QStringLiteral("Out of memory"), detail};
}

RuntimeError RuntimeError::typeMismatch(const QString& value) {
    return {TypeMismatch, QStringLiteral("Type mismatch"), value};
}

RuntimeError RuntimeError::internalError(const QString& what) {
    return {InternalError, QStringLiteral("Internal error"), what};
}

RuntimeError RuntimeError::fileNotFound(const QString& path) {
    return {FileNotFound, QStringLiteral("File not found"), path};
}

RuntimeError RuntimeError::fileAlreadyExists(const QString& path) {
    return {FileAlreadyExists, QStringLiteral("File already exists"), path};
}

RuntimeError RuntimeError::diskFull(const QString& path) {
    return {DiskFull, QStringLiteral("Disk full"), path};
}

RuntimeError RuntimeError::inputPastEndOfFile(const QString& path) {
    return {InputPastEndOfFile, QStringLiteral("Input past end of file"), path};
}

RuntimeError RuntimeError::pathFileAccess(const QString& path, const QString& why) {
    return {PathFileAccess, QStringLiteral("Path/File access error"),
            why.isEmpty() ? path : path + QStringLiteral(": ") + why};
}

RuntimeError RuntimeError::invalidPropertyValue(const QString& value) {
    return {InvalidPropertyValue, QStringLiteral("Invalid property value"), value};
}

RuntimeError RuntimeError::invalidPicture(const QString& what) {
    return {InvalidPicture, QStringLiteral("Invalid picture"), what};
}

RuntimeError RuntimeError::cannotOpenClipboard() {
    return {CannotOpenClipboard, QStringLiteral("Can't open Clipboard")};
}

QString runTimeErrorMessage(const RuntimeError& error) {
    QString message =
        QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.text());
    if (!error.explanation().isEmpty()) message += QStringLiteral("\n\n") + error.explanation();
    return message;
}

}  // namespace brimlet
