// libFuzzer target: the line reader on any text. Every line it gives ends in
// CR LF, no other CR is left, the LFs of the input are all kept, and the
// lines joined with their original ends give the input back.

#include <cstdint>
#include <cstdlib>

#include "history/LineReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString lines = brimlet::linesWithCrLf(text);
    if (text.isEmpty() != lines.isEmpty()) std::abort();
    if (!lines.isEmpty() && !lines.endsWith(QLatin1String("\r\n"))) std::abort();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] == QLatin1Char('\r') &&
            (i + 1 >= lines.size() || lines[i + 1] != QLatin1Char('\n')))
            std::abort();
    }
    // Apart from line ends, nothing is added or lost.
    QString bare = text;
    bare.remove(QLatin1Char('\r'));
    QString got = lines;
    got.remove(QLatin1Char('\r'));
    const qsizetype added = got.count(QLatin1Char('\n')) - bare.count(QLatin1Char('\n'));
    if (added < 0) std::abort();
    return 0;
}
