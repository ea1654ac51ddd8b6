#pragma once

#include <QString>
#include <QStringView>

namespace brimlet {

// A text read line by line, each line followed by CR LF. A line ends at a
// CR or at CR LF (the end is not part of the line); a LF on its own stays
// inside the line. An empty text has no line at all.
QString linesWithCrLf(const QString& text);

// The same for a text that comes in pieces (a file read chunk by chunk): a
// CR at the end of one piece and a LF at the start of the next are one line
// end.
class LineEnds {
  public:
    // Appends the next piece, its line ends made CR LF, to `out`.
    void convert(QStringView piece, QString& out);
    // What the end of the text adds: CR LF after a last line without one.
    QString finish() const;

  private:
    bool afterCr_ = false;     // the last piece ended in a CR
    bool atLineStart_ = true;  // nothing of a line since the last line end
};

// The text of a capture file as it was copied: its line ends made CR LF as
// above, but without the one CR LF that ends the file (written after every
// captured text), and nothing added after a last line without one. A file
// that does not end in CR LF loses nothing.
QString capturedText(const QString& fileText);

// The same for a file read in pieces: the last two characters are held
// back until it is known whether they end the file.
class CapturedTextPieces {
  public:
    // Appends what is known to come before the end of the file to `out`.
    void convert(QStringView piece, QString& out);
    // What is left once the file has ended.
    QString finish();

  private:
    LineEnds ends_;
    QString held_;
};

}  // namespace brimlet
