// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <memory>

// Reading inputs whole, the same way on every system. Each file layer gives
// a readSome(data, size) for an open input: it reads up to `size` bytes,
// fewer only at the end, and throws PlatformError when the system fails.

// Reads a whole input that the system said holds `sizeHint` bytes. The size
// is a hint only: the file may grow while it is read. The buffer never grows
// past `limit` and the one byte that shows the limit was passed; past it,
// tooLarge() throws.
template <typename ReadSome, typename TooLarge>
QByteArray readWhole(qint64 sizeHint, qint64 limit, ReadSome readSome, TooLarge tooLarge)
{
    if (sizeHint > limit)
        tooLarge();
    QByteArray data(qsizetype(sizeHint) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == data.size()) {
            if (used > limit)
                tooLarge();
            data.resize(qsizetype(std::min(std::max<qint64>(qint64(used) * 2, 4096), limit + 1)));
        }
        const qsizetype n = readSome(data.data() + used, data.size() - used);
        if (n == 0)
            break;
        used += n;
    }
    data.truncate(used);
    return data;
}

// Whether two inputs of the same size hold the same bytes. They are compared
// chunk by chunk, small at first, so that files that differ early cost little.
template <typename ReadA, typename ReadB> bool sameBytes(ReadA readA, ReadB readB)
{
    constexpr qsizetype LargestChunk = 64 * 1024;
    const auto chunkA = std::make_unique_for_overwrite<char[]>(LargestChunk);
    const auto chunkB = std::make_unique_for_overwrite<char[]>(LargestChunk);
    for (qsizetype size = 4096;; size = std::min(size * 2, LargestChunk)) {
        const qsizetype n = readA(chunkA.get(), size);
        if (readB(chunkB.get(), size) != n ||
            std::memcmp(chunkA.get(), chunkB.get(), size_t(n)) != 0)
            return false;
        if (n < size)
            return true;
    }
}
