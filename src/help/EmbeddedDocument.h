#pragma once

#include <QByteArray>
#include <QString>

namespace brimlet {

// A document carried inside the program (a Qt resource) under its own file
// name: the readme and the pages that forward to the maker's web site.
class EmbeddedDocument {
  public:
    explicit EmbeddedDocument(const QString& fileName);

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
