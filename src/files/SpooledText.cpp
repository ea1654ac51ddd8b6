#include "files/SpooledText.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace brimlet {

namespace {

// How many bytes a UTF-8 character that starts with `lead` takes (1 for a
// byte that cannot start one: the check then fails on it).
qsizetype characterBytes(char lead) {
    const auto c = static_cast<uchar>(lead);
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// Every byte that starts a character is one UTF-16 unit, and one of a
// four-byte character is two; eight bytes of ASCII are counted at once.
qsizetype utf16Units(QByteArrayView bytes) {
    qsizetype units = 0;
    qsizetype at = 0;
    const auto count = [&](char c) {
        const auto u = static_cast<uchar>(c);
        units += ((u & 0xC0) != 0x80) + (u >= 0xF0);
    };
    for (; at + 8 <= bytes.size(); at += 8) {
        quint64 word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        if ((word & 0x8080808080808080ULL) == 0) {
            units += 8;
            continue;
        }
        for (qsizetype i = at; i < at + 8; ++i) count(bytes[i]);
    }
    for (; at < bytes.size(); ++at) count(bytes[at]);
    return units;
}

}  // namespace

SpooledText::SpooledText(FolderHandle folder) : folder_(std::move(folder)) {}

bool SpooledText::append(QByteArrayView piece) {
    if (invalid_) return false;
    // A character that the last piece cut in two is completed first.
    if (!carry_.isEmpty()) {
        const qsizetype whole = characterBytes(carry_[0]);
        const qsizetype taken = std::min(whole - carry_.size(), piece.size());
        carry_.append(piece.first(taken));
        piece = piece.sliced(taken);
        if (carry_.size() < whole) return true;
        if (!QByteArrayView(carry_).isValidUtf8()) {
            invalid_ = true;
            return false;
        }
        take(carry_);
        carry_.clear();
    }
    // The start of a character at the end waits for the next piece.
    qsizetype cut = piece.size();
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, piece.size()); ++back) {
        const char c = piece[piece.size() - back];
        if ((static_cast<uchar>(c) & 0xC0) == 0x80) continue;  // inside a character
        if (characterBytes(c) > back) cut = piece.size() - back;
        break;
    }
    const QByteArrayView body = piece.first(cut);
    if (!body.isValidUtf8()) {
        invalid_ = true;
        return false;
    }
    take(body);
    carry_ = piece.sliced(cut).toByteArray();
    return true;
}

// A NUL at the end of what has come so far is held back: it is written only
// if more of the text follows.
void SpooledText::take(QByteArrayView valid) {
    if (valid.isEmpty()) return;
    if (nulHeld_) {
        put(QByteArrayView("\0", 1));
        nulHeld_ = false;
    }
    if (valid.back() == '\0') {
        valid.chop(1);
        nulHeld_ = true;
    }
    put(valid);
}

void SpooledText::put(QByteArrayView bytes) {
    utf16Length_ += utf16Units(bytes);
    size_ += bytes.size();
    if (!file_) {
        // Kept as the pieces came (growing one block would copy it again
        // and again), and joined once at the end.
        if (size_ <= kHeldBytes) {
            pieces_ << bytes.toByteArray();
            return;
        }
        file_ = std::make_unique<StagedFile>(folder_, folder_.path());
        held_.reserve(kStartBytes);
        for (const QByteArray& piece : std::as_const(pieces_)) {
            file_->write(piece);
            held_.append(
                QByteArrayView(piece).first(std::min(piece.size(), kStartBytes - held_.size())));
        }
        pieces_.clear();
    }
    file_->write(bytes);
}

bool SpooledText::finish() {
    if (invalid_ || !carry_.isEmpty()) {
        invalid_ = true;
        return false;
    }
    if (file_) {
        file_->write("\r\n");
        file_->finish();
        return true;
    }
    held_.reserve(size_);
    for (const QByteArray& piece : std::as_const(pieces_)) held_.append(piece);
    pieces_.clear();
    return true;
}

}  // namespace brimlet
