// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Start-up path derivation from any start-up directory: either the paths
// built from everything before the last separator, or an invalid argument
// when there is no separator. Then one step and the set's paths. The same
// bytes as a file name must come back from decoding and encoding unchanged.

#include "FuzzCheck.h"
#include "library/FrontlineLibrary.h"
#include "platform/FileNames.h"
#include "platform/PlatformError.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView name(reinterpret_cast<const char*>(data), qsizetype(size));
    FUZZ_CHECK(encodeFileName(decodeFileName(name)) == name);
    if (size < 3)
        return 0;
    const QChar separator = (data[0] & 1) ? u'\\' : u'/';
    const std::int16_t number = std::int16_t(data[1] | (data[2] << 8));
    const QString directory =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    FrontlineState state;
    try {
        deriveStartupPaths(state, directory, separator);
    } catch (const PlatformError& error) {
        FUZZ_CHECK(error.number() == EINVAL && !directory.contains(separator));
        return 0;
    }
    FUZZ_CHECK(directory.contains(separator));
    const QString game = directory.left(directory.lastIndexOf(separator));
    const QString sep(separator);
    FUZZ_CHECK(state.MainPath == directory);
    FUZZ_CHECK(state.DestinationPath == game + sep + "FRNTLINE.DAT");
    FUZZ_CHECK(state.AFDestPath == game + sep + "AIRFIELD.DAT");
    FUZZ_CHECK(state.DefaultFrtLinePath ==
               game + sep + "Frontlines" + sep + "Frontline(1)" + sep + "FRNTLINE.DAT");
    FUZZ_CHECK(state.WorkFilesPath == game + sep + "Frontlines" + sep + "Workfiles");

    state.FrontlineNum = number;
    state.NumFolders = std::int16_t(data[0] >> 1);
    try {
        stepForward(state);
    } catch (const PlatformError& error) {
        FUZZ_CHECK(error.number() == EOVERFLOW && number == 32767 && state.NumFolders != 32767);
        return 0;
    }
    FUZZ_CHECK(state.FrontlineNum == (number == state.NumFolders ? 1 : number + 1));
    derivePerSetPaths(state);
    const QString n = QString::number(state.FrontlineNum);
    FUZZ_CHECK(state.ThisFilePath ==
               directory + sep + "Frontline(" + n + ")" + sep + "FRNTLINE.DAT");
    const QString picture =
        state.FrontlineNum == 1 ? QStringLiteral("FL#1(Default).jpg") : "FL#" + n + ".jpg";
    FUZZ_CHECK(state.ThisPicPath.endsWith(picture));
    return 0;
}
