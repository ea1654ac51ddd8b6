// libFuzzer target: the counter file's reader on any bytes. It must not
// crash or hang; what it accepts must be a pair of 16-bit counters that
// read back the same when written out; what it refuses must be one of its
// two errors.

#include <cstdint>
#include <cstdlib>

#include "capture/CaptureStore.h"
#include "base/RuntimeError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const brimlet::Counters counters = brimlet::parseCounterFile(bytes);
        if (!(brimlet::parseCounterFile(brimlet::counterFileBytes(counters)) == counters))
            std::abort();
    } catch (const brimlet::RuntimeError& e) {
        if (e.number() != 6 && e.number() != 62) std::abort();
    }
    return 0;
}
