// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Case-insensitive path resolution on a tree with names that differ only in
// case. Paths are spelled from the input's bytes; the result must be the
// path as spelled when that exists, must differ from it only in ASCII case,
// must be the same every time, and must exist whenever a walk that prefers
// the exact spelling, then the first name in byte order, finds an entry.

#include "FuzzCheck.h"
#include "platform/disk/LocalFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir* tree = nullptr;

const char* const Names[] = {
    "Frontline(1)", "FRNTLINE.DAT", "Alpha", "beta.txt", "Gamma", "x", "\xC3\x89t\xC3\xA9", "."};

void makeFile(const QString& relative)
{
    const QString path = tree->filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly));
}

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool equalIgnoringAsciiCase(const QByteArray& a, const QByteArray& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldAscii(x) == foldAscii(y);
           });
}

// The walk the resolver promises, done with Qt's own listing.
QString expectedResolution(const QStringList& parts)
{
    QString resolved = tree->path();
    bool found = true;
    for (const QString& part : parts) {
        const QString spelled = resolved + "/" + part;
        if (!found || part == "." || QFileInfo::exists(spelled)) {
            resolved = spelled;
            continue;
        }
        QByteArray best;
        for (const QString& entry : QDir(resolved).entryList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot)) {
            const QByteArray name = QFile::encodeName(entry);
            if (equalIgnoringAsciiCase(name, QFile::encodeName(part)) &&
                (best.isEmpty() || name < best))
                best = name;
        }
        found = !best.isEmpty();
        resolved += "/" + (found ? QFile::decodeName(best) : part);
    }
    return resolved;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tree = new QTemporaryDir;
    FUZZ_CHECK(tree->isValid());
    std::atexit([] { delete tree; }); // libFuzzer ends the run with exit()
    for (const char* file :
         {"FrontLine(1)/FRNTLINE.DAT", "Frontline(1)/frntline.dat", "FRONTLINE(1)/Gamma/x",
          "Alpha/beta.txt", "Alpha/BETA.TXT", "alpha/Gamma/x", "ALPHA/gamma", "\xC3\x89t\xC3\xA9/x",
          "\xC3\xA9t\xC3\xA9/X"})
        makeFile(QString::fromUtf8(file));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QStringList parts;
    for (std::size_t i = 0; i + 1 < size && parts.size() < 4; i += 2) {
        QByteArray name = Names[data[i] % std::size(Names)];
        for (qsizetype c = 0; c < name.size() && c < 8; ++c) {
            const char letter = foldAscii(name[c]);
            if ((data[i + 1] & (1 << c)) && letter >= 'a' && letter <= 'z')
                name[c] = char(name[c] ^ 0x20);
        }
        parts.append(QString::fromUtf8(name));
    }
    if (parts.isEmpty())
        return 0;
    const QString spelled = tree->path() + "/" + parts.join('/');

    LocalFileSystem files;
    const QString resolved = files.resolvePath(spelled);
    FUZZ_CHECK(files.resolvePath(spelled) == resolved);
    if (QFileInfo::exists(spelled))
        FUZZ_CHECK(resolved == spelled);
    FUZZ_CHECK(equalIgnoringAsciiCase(QFile::encodeName(resolved), QFile::encodeName(spelled)));
    FUZZ_CHECK(resolved == expectedResolution(parts));
    return 0;
}
