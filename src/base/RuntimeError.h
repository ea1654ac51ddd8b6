#pragma once

#include <QString>
#include <stdexcept>

namespace brimlet {

// A failing operation raises a run-time error: the error's number and its
// standard text, plus an optional detail (which file, what the system said)
// for callers that want to tell the user more.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(int number, QString text, QString detail = {});

    int number() const { return number_; }
    const QString& text() const { return text_; }
    const QString& detail() const { return detail_; }
    // One sentence for the user beyond the standard text (what failed and
    // what would help); empty for most errors.
    const QString& explanation() const { return explanation_; }
    RuntimeError explained(const QString& sentence) const;

    // The standard errors the program raises.
    static RuntimeError overflow();                                               // 6
    static RuntimeError outOfMemory();                                            // 7
    static RuntimeError internalError(const QString& what);                       // 51
    static RuntimeError fileNotFound(const QString& path);                        // 53
    static RuntimeError fileAlreadyExists(const QString& path);                   // 58
    static RuntimeError diskFull(const QString& path);                            // 61
    static RuntimeError pathFileAccess(const QString& path, const QString& why);  // 75
    static RuntimeError invalidPicture(const QString& what);                      // 481
    static RuntimeError cannotOpenClipboard();                                    // 521

  private:
    int number_;
    QString text_;
    QString detail_;
    QString explanation_;
};

// The message shown for an error that no handler trapped:
// "Run-time error 'N':" + blank line + the error's text, then its
// explanation, if any, after another blank line.
QString runTimeErrorMessage(const RuntimeError& error);

}  // namespace brimlet
