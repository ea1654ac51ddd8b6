#include "host/x11/CompoundText.h"

#include <iconv.h>

#include <QHash>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace brimlet {

namespace {

// A character set as designated to the left (GL) or right (GR) half.
struct Charset {
    enum Kind { Ascii, Latin1, JisRoman, JisKana, Iconv, Unknown };
    Kind kind = Ascii;
    const char* encoding = nullptr;  // for Iconv: glibc's name of the set in 8-bit form
    int width = 1;                   // bytes a character
    bool ninetySix = false;          // 0xA0 and 0xFF are characters too
    char prefix = 0;                 // put before each character (JIS X 0212 in EUC-JP)

    bool operator==(const Charset& o) const {
        return kind == o.kind && encoding == o.encoding && width == o.width && prefix == o.prefix;
    }
};

// ISO 8859 parts by the final byte that designates them as 96-character sets.
const char* ninetySixSet(char final) {
    switch (final) {
        case 'B':
            return "ISO-8859-2";
        case 'C':
            return "ISO-8859-3";
        case 'D':
            return "ISO-8859-4";
        case 'F':
            return "ISO-8859-7";
        case 'G':
            return "ISO-8859-6";
        case 'H':
            return "ISO-8859-8";
        case 'L':
            return "ISO-8859-5";
        case 'M':
            return "ISO-8859-9";
        case 'T':
            return "TIS-620";
        case 'V':
            return "ISO-8859-10";
        case 'Y':
            return "ISO-8859-13";
        case '_':
            return "ISO-8859-14";
        case 'b':
            return "ISO-8859-15";
        case 'f':
            return "ISO-8859-16";
        default:
            return nullptr;
    }
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";
// The most room made for converted bytes at a time.
constexpr size_t kConvertBlock = size_t{1} << 20;

class Decoder {
  public:
    explicit Decoder(QByteArrayView in) : in_(in) { out_.reserve(in.size()); }
    ~Decoder() {
        for (iconv_t cd : std::as_const(converters_)) iconv_close(cd);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    DecodedText run() {
        const qsizetype n = in_.size();
        qsizetype i = 0;
        while (i < n) {
            const auto b = static_cast<uchar>(in_[i]);
            if (b == 0x1B) {
                flush();
                i = escape(i);
            } else if (b == 0x9B) {
                flush();
                i = controlSequence(i);
            } else if ((b > 0x20 && b < 0x7F) || b >= 0xA0) {
                i = character(i);
            } else {
                flush();
                if (b == 0x7F || b >= 0x80) {
                    replace();
                } else {
                    out_.append(static_cast<char>(b));  // tabs, new lines, spaces
                }
                ++i;
            }
        }
        flush();
        return {std::move(out_), clean_};
    }

  private:
    uchar at(qsizetype i) const { return i < in_.size() ? static_cast<uchar>(in_[i]) : 0; }

    void replace() {
        out_.append(kReplacement, 3);
        clean_ = false;
    }

    void codePoint(char32_t c) {
        if (c < 0x80) {
            out_.append(static_cast<char>(c));
        } else if (c < 0x800) {
            out_.append(static_cast<char>(0xC0 | (c >> 6)));
            out_.append(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out_.append(static_cast<char>(0xE0 | (c >> 12)));
            out_.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out_.append(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    // One character of the set designated to the half its first byte is in.
    qsizetype character(qsizetype i) {
        const bool right = at(i) >= 0x80;
        const Charset& set = right ? gr_ : gl_;
        const uchar first = at(i) & 0x7F;
        const bool edge = first == 0x20 || first == 0x7F;  // 0xA0, 0xFF
        if (edge && !set.ninetySix) {
            flush();
            replace();
            return i + 1;
        }
        uchar second = 0;
        if (set.width == 2) {
            const uchar next = at(i + 1);
            if (i + 1 >= in_.size() || (next >= 0x80) != right || (next & 0x7F) <= 0x20 ||
                (next & 0x7F) == 0x7F) {
                flush();
                replace();
                return i + 1;
            }
            second = next & 0x7F;
        }
        switch (set.kind) {
            case Charset::Ascii:
                flush();
                codePoint(first);
                break;
            case Charset::Latin1:
                flush();
                codePoint(first | 0x80u);
                break;
            case Charset::JisRoman:
                flush();
                codePoint(first == 0x5C ? 0xA5 : first == 0x7E ? 0x203E : first);
                break;
            case Charset::JisKana:
                flush();
                if (first <= 0x5F) {
                    codePoint(0xFF61 + (first - 0x21));
                } else {
                    replace();
                }
                break;
            case Charset::Iconv:
                if (!(run_ == set)) flush();
                run_ = set;
                if (set.prefix != 0) pending_.append(set.prefix);
                pending_.append(static_cast<char>(first | 0x80));
                if (set.width == 2) pending_.append(static_cast<char>(second | 0x80));
                break;
            case Charset::Unknown:
                flush();
                replace();
                break;
        }
        return i + set.width;
    }

    iconv_t converter(const char* encoding) {
        auto it = converters_.constFind(QByteArray(encoding));
        if (it != converters_.constEnd()) return *it;
        iconv_t cd = iconv_open("UTF-8", encoding);
        if (cd != reinterpret_cast<iconv_t>(-1)) converters_.insert(QByteArray(encoding), cd);
        return cd;
    }

    // Converts `bytes` of `encoding` whose characters take `unit` bytes (0:
    // not known); a character that does not convert becomes U+FFFD.
    bool convert(const char* encoding, QByteArrayView bytes, int unit) {
        iconv_t cd = converter(encoding);
        if (cd == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(bytes.data());
        size_t left = static_cast<size_t>(bytes.size());
        while (left > 0) {
            const qsizetype start = out_.size();
            size_t room = std::min<size_t>(left * 4 + 16, kConvertBlock);
            out_.resize(start + static_cast<qsizetype>(room));
            char* dst = out_.data() + start;
            const size_t done = iconv(cd, &src, &left, &dst, &room);
            out_.resize(out_.size() - static_cast<qsizetype>(room));
            if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
            replace();
            const size_t skip = std::min<size_t>(left, unit > 0 ? static_cast<size_t>(unit) : 1);
            src += skip;
            left -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

    // Converts the characters gathered for one set.
    void flush() {
        if (pending_.isEmpty()) return;
        const int unit = run_.width + (run_.prefix != 0 ? 1 : 0);
        if (!convert(run_.encoding, pending_, unit)) {
            for (qsizetype k = 0; k < pending_.size(); k += unit) replace();
        }
        pending_.clear();
    }

    // ESC, intermediate bytes 0x20 to 0x2F, a final byte 0x30 to 0x7E.
    qsizetype escape(qsizetype i) {
        qsizetype end = i + 1;
        while (end < in_.size() && at(end) >= 0x20 && at(end) <= 0x2F) ++end;
        if (end >= in_.size() || at(end) < 0x30 || at(end) > 0x7E) {
            replace();
            return end;
        }
        const QByteArrayView middle = in_.sliced(i + 1, end - i - 1);
        const char final = static_cast<char>(at(end));
        ++end;
        if (middle == "(" || middle == ")") {
            Charset set;
            set.kind = final == 'B'   ? Charset::Ascii
                       : final == 'J' ? Charset::JisRoman
                       : final == 'I' ? Charset::JisKana
                                      : Charset::Unknown;
            (middle == "(" ? gl_ : gr_) = set;
        } else if (middle == "-") {
            Charset set;
            set.ninetySix = true;
            set.encoding = ninetySixSet(final);
            set.kind = final == 'A'   ? Charset::Latin1
                       : set.encoding ? Charset::Iconv
                                      : Charset::Unknown;
            gr_ = set;
        } else if (middle == "$" || middle == "$(" || middle == "$)") {
            Charset set;
            set.width = 2;
            set.kind = Charset::Iconv;
            switch (final) {
                case 'A':
                    set.encoding = "EUC-CN";
                    break;
                case '@':
                case 'B':
                    set.encoding = "EUC-JP";
                    break;
                case 'C':
                    set.encoding = "EUC-KR";
                    break;
                case 'D':
                    set.encoding = "EUC-JP";
                    set.prefix = static_cast<char>(0x8F);
                    break;
                default:
                    set.kind = Charset::Unknown;
            }
            (middle == "$)" ? gr_ : gl_) = set;
        } else if (middle == "%" && final == 'G') {
            return utf8Segment(end);
        } else if (middle == "%/" && final >= '0' && final <= '4') {
            return extendedSegment(end);
        }
        return end;  // anything else changes nothing that is shown
    }

    // UTF-8 up to ESC % @ (or the end).
    qsizetype utf8Segment(qsizetype start) {
        qsizetype end = in_.indexOf(QByteArrayView("\x1B%@"), start);
        if (end < 0) end = in_.size();
        const QByteArrayView segment = in_.sliced(start, end - start);
        if (segment.isValidUtf8()) {
            out_.append(segment);
        } else {
            out_.append(QString::fromUtf8(segment).toUtf8());
            clean_ = false;
        }
        return std::min(end + 3, in_.size());
    }

    // Two bytes of length, the encoding's name, STX, the text.
    qsizetype extendedSegment(qsizetype start) {
        if (start + 2 > in_.size()) {
            replace();
            return in_.size();
        }
        const qsizetype length = qsizetype(at(start) & 0x7F) << 7 | (at(start + 1) & 0x7F);
        const QByteArrayView segment =
            in_.sliced(start + 2).first(std::min(length, in_.size() - start - 2));
        const qsizetype stx = segment.indexOf('\x02');
        if (stx < 0) {
            replace();
        } else {
            QByteArray name = segment.first(stx).toByteArray().toUpper();
            if (!convert(name.constData(), segment.sliced(stx + 1), 0)) {
                if (name.endsWith("-0")) name.chop(2);
                if (!convert(name.constData(), segment.sliced(stx + 1), 0)) replace();
            }
        }
        return start + 2 + segment.size();
    }

    // CSI, parameters, intermediates, a final byte: directions, not shown.
    qsizetype controlSequence(qsizetype i) {
        qsizetype end = i + 1;
        while (end < in_.size() && at(end) >= 0x20 && at(end) <= 0x3F) ++end;
        return std::min(end + 1, in_.size());
    }

    QByteArrayView in_;
    QByteArray out_;
    bool clean_ = true;
    Charset gl_{Charset::Ascii};
    Charset gr_{Charset::Latin1, nullptr, 1, true};
    Charset run_;
    QByteArray pending_;
    QHash<QByteArray, iconv_t> converters_;
};

}  // namespace

DecodedText decodeCompoundText(QByteArrayView bytes) {
    return Decoder(bytes).run();
}

}  // namespace brimlet
