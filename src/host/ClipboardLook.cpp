#include "host/ClipboardLook.h"

#include <QImageReader>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <utility>

#include "base/RuntimeError.h"
#include "files/Picture.h"
#include "files/SpooledText.h"
#include "host/x11/CompoundText.h"

namespace brimlet {

bool isFileList(const QByteArray& text, const QByteArrayList& uris) {
    QSet<QByteArray> names;
    for (const QByteArray& uri : uris) {
        const QUrl url = QUrl::fromEncoded(uri.trimmed());
        names << uri.trimmed() << url.toString().toUtf8() << url.toLocalFile().toUtf8()
              << url.fileName().toUtf8();
    }
    names.remove(QByteArray());
    for (const QByteArray& untrimmed : text.split('\n')) {
        const QByteArray line = untrimmed.trimmed();
        if (line.isEmpty() || line.startsWith('/') || line.startsWith("file:")) continue;
        if (!names.contains(line)) return false;
    }
    return true;
}

namespace {

const QByteArrayList kTextTypes = {
    "UTF8_STRING", "text/plain;charset=utf-8", "COMPOUND_TEXT", "STRING", "TEXT", "text/plain"};

// Picture types in order of preference, then any other Qt can read.
const QByteArrayList& pictureTypes() {
    static const QByteArrayList types = [] {
        QByteArrayList wanted = {"image/png",  "image/bmp",  "image/x-bmp", "image/jpeg",
                                 "image/webp", "image/tiff", "image/gif"};
        for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
            if (!wanted.contains(type)) wanted << type;
        }
        return wanted;
    }();
    return types;
}

// A text form decoded to UTF-8 (the owner's own bytes when they are valid
// UTF-8), and whether it decoded cleanly.
DecodedText decodeText(const QByteArray& form, QByteArray bytes) {
    if (bytes.endsWith('\0')) bytes.chop(1);
    if (form == "COMPOUND_TEXT") return decodeCompoundText(bytes);
    if (form == "STRING") return {QString::fromLatin1(bytes).toUtf8(), true};
    if (form == "TEXT") {
        QStringDecoder local(QStringDecoder::System);
        const QString text = local.decode(bytes);
        return {text.toUtf8(), !local.hasError()};
    }
    if (bytes.isValidUtf8()) return {std::move(bytes), true};
    return {QString::fromUtf8(bytes).toUtf8(), false};
}

// The text forms that are UTF-8 by their name, which may be spooled as they
// are read. (What TEXT is, only its answer tells; the others are decoded.)
bool isUtf8Form(const QByteArray& type) {
    return type == "UTF8_STRING" || type == "text/plain;charset=utf-8";
}

// Reads a UTF-8 text form piece by piece into a spool in `folder`, so that
// a long text is never held whole. A null spool when it could not be
// spooled (not valid UTF-8 after all, or its file could not be written): it
// is then read the usual way. Nothing when the transfer failed.
std::optional<std::shared_ptr<SpooledText>> readSpooled(ClipboardSource& source,
                                                        const QByteArray& type,
                                                        const FolderHandle& folder) {
    auto spooled = std::make_shared<SpooledText>(folder);
    const bool read = source.readInPieces(type, [&](QByteArrayView piece) {
        try {
            return spooled->append(piece);
        } catch (const RuntimeError&) {
            return false;
        }
    });
    if (!read && source.failure() != ClipboardSource::Failure::Stopped) return std::nullopt;
    try {
        if (read && spooled->finish()) return spooled;
    } catch (const RuntimeError&) {
    }
    return std::shared_ptr<SpooledText>();
}

// Reads a PNG, decoding it into a staged bitmap file in `folder` while it
// arrives (`file`, where it could be). All its bytes, or nothing when the
// transfer failed.
std::optional<QByteArray> readPng(ClipboardSource& source, const FolderHandle& folder,
                                  std::unique_ptr<StagedFile>& file) {
    PngDecoding decoding(folder);
    const bool read = source.readInPieces("image/png", [&](QByteArrayView piece) {
        decoding.append(piece);
        return true;
    });
    QByteArray bytes;
    file = decoding.finish(bytes);
    if (read) return bytes;
    file.reset();
    return std::nullopt;
}

}  // namespace

const QByteArrayList& wantedClipboardTypes() {
    static const QByteArrayList types = [] {
        QByteArrayList wanted = {kPasswordHintType, kGnomeFilesType, kKdeCutType, kUriListType};
        wanted << pictureTypes() << kTextTypes;
        return wanted;
    }();
    return types;
}

void giveUp(ClipboardLook& look, ClipboardSource::Failure failure) {
    if (failure == ClipboardSource::Failure::ChangedHands) {
        look.changedHands = true;  // the next copy is looked at instead
        return;
    }
    look.stalled = true;
    look.tooBig = failure == ClipboardSource::Failure::TooBig;
}

void lookAtCopy(ClipboardSource& source, const QByteArrayList& offered,
                const std::optional<FolderHandle>& spoolIn, ClipboardLook& look) {
    using Failure = ClipboardSource::Failure;
    auto gaveUp = [&] { giveUp(look, source.failure()); };
    auto unanswered = [&] {
        return source.failure() == Failure::TimedOut || source.failure() == Failure::ChangedHands;
    };
    // Each type the owner refuses is passed over; one it does not answer
    // for ends the look.
    auto failed = [&] { return source.failure() != Failure::Refused; };
    // Every answer must come from the copy whose list was read (its secret
    // hint and its files included): when the clipboard changed hands in
    // between, look again.
    auto sameCopy = [&] {
        if (source.answeredBySameCopy()) return true;
        look.changedHands = true;
        return false;
    };
    if (offered.contains(kPasswordHintType)) {
        const auto hint = source.read(kPasswordHintType, 4096);
        if (!hint && unanswered()) return gaveUp();
        // A hint that cannot be read may mark a secret: keep away from it.
        if (!hint || hint->trimmed() == "secret" || !sameCopy()) return;
    }
    // A picture wins, whatever is offered beside it (an image viewer offers
    // the picture's file too).
    bool unreadablePicture = false;
    for (const QByteArray& type : pictureTypes()) {
        if (!offered.contains(type)) continue;
        // A PNG is decoded while it arrives, straight into its file; one
        // that cannot be, or a disk that fails (and fails again, saying so,
        // when the capture is written), is decoded below as any picture.
        std::unique_ptr<StagedFile> file;
        auto bytes = spoolIn && type == "image/png" ? readPng(source, *spoolIn, file)
                                                    : source.read(type, ClipboardSource::kWhole);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        if (file) {
            look.bitmap = true;
            look.pictureFile = std::move(file);
            return;
        }
        QImage picture = decodePicture(*bytes);
        bytes.reset();
        if (picture.isNull()) {
            // Damaged, cut short, or larger than any picture is allowed.
            unreadablePicture = true;
            continue;
        }
        look.bitmap = true;
        look.picture = std::move(picture);
        return;
    }
    if (unreadablePicture) {
        // Offered as a picture and not readable: its capture fails and says so.
        look.bitmap = true;
        look.picture = QImage();
        return;
    }
    // Copied files are left to the file manager, and so is a text beside
    // them that only names them; links to web pages are text.
    bool copiedFiles = offered.contains(kGnomeFilesType) || offered.contains(kKdeCutType);
    QByteArrayList uris;
    if (offered.contains(kUriListType)) {
        const auto list = source.read(kUriListType, 1024 * 1024);
        if (!list && unanswered()) return gaveUp();
        if (!list || !sameCopy()) return;
        for (const QByteArray& line : list->split('\n')) {
            if (line.trimmed().startsWith("file:")) copiedFiles = true;
            if (!line.trimmed().isEmpty() && !line.startsWith('#')) uris << line.trimmed();
        }
    }
    // The first text form that decodes cleanly, or else the first one read.
    std::optional<QByteArray> text;
    for (const QByteArray& type : kTextTypes) {
        if (!offered.contains(type)) continue;
        if (spoolIn && !copiedFiles && isUtf8Form(type)) {
            const auto spooled = readSpooled(source, type, *spoolIn);
            if (!spooled && failed()) return gaveUp();
            if (!spooled) continue;
            if (!sameCopy()) return;
            if (*spooled) {
                look.text = true;
                look.textUtf8 = (*spooled)->held();
                if ((*spooled)->spooled()) look.spooled = *spooled;
                return;
            }
            // Not UTF-8 after all, or not written: read and decoded below.
        }
        auto bytes = source.read(type, ClipboardSource::kWhole);
        if (!bytes && failed()) return gaveUp();
        if (!bytes) continue;
        if (!sameCopy()) return;
        DecodedText decoded = decodeText(source.answeredForm(type), std::move(*bytes));
        if (decoded.clean) {
            text = std::move(decoded.utf8);
            break;
        }
        if (!text) text = std::move(decoded.utf8);
    }
    if (!text || (copiedFiles && isFileList(*text, uris))) return;
    look.text = true;
    look.textUtf8 = std::move(text);
}

}  // namespace brimlet
