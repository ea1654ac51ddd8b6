#pragma once

#include <QString>
#include <stdexcept>

namespace brimlet {

// A failing operation raises a run-time error: the error's number and its
// standard text, plus an optional detail (which file, what the system said)
// for callers that want to tell the user more.
class RuntimeError : public std::runtime_error {
  public:
    // The numbers of the errors the program raises.
    enum Number : int {
        Overflow = 6,
        OutOfMemory = 7,
        TypeMismatch = 13,
        InternalError = 51,
        FileNotFound = 53,
        FileAlreadyExists = 58,
        DiskFull = 61,
        InputPastEndOfFile = 62,
        PathFileAccess = 75,
        InvalidPropertyValue = 380,
        InvalidPicture = 481,
        CannotOpenClipboard = 521,
    };

    RuntimeError(int number, QString text, QString detail = {});

    int number() const { return number_; }
    const QString& text() const { return text_; }
    const QString& detail() const { return detail_; }
    // One sentence for the user beyond the standard text (what failed and
    // what would help); empty for most errors.
    const QString& explanation() const { return explanation_; }
    RuntimeError explained(const QString& sentence) const;

    // The standard errors the program raises.
    static RuntimeError overflow();
    static RuntimeError outOfMemory(const QString& detail = {});
    static RuntimeError typeMismatch(const QString& value);
    static RuntimeError internalError(const QString& what);
    static RuntimeError fileNotFound(const QString& path);
    static RuntimeError fileAlreadyExists(const QString& path);
    static RuntimeError diskFull(const QString& path);
    static RuntimeError inputPastEndOfFile(const QString& path);
    static RuntimeError pathFileAccess(const QString& path, const QString& why);
    static RuntimeError invalidPropertyValue(const QString& value);
    static RuntimeError invalidPicture(const QString& what);
    static RuntimeError cannotOpenClipboard();

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
