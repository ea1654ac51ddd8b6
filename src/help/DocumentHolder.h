#pragma once

#include <QObject>
#include <QString>

namespace brimlet {

// Holds one document carried inside the program (a Qt resource) under its
// own file name.
class DocumentHolder : public QObject {
    Q_OBJECT
  public:
    DocumentHolder(const QString& fileName, QObject* parent);

    const QString& fileName() const { return fileName_; }
    // The document's bytes, exactly as carried.
    QByteArray bytes() const;
    // Writes the document under its own name into `folder`; returns its path.
    // Raises a run-time error when it cannot be written.
    QString writeTo(const QString& folder) const;

  private:
    QString fileName_;
};

}  // namespace brimlet
