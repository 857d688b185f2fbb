// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/LocalFileSystem.h"
#include "platform/game/GameProbe.h"

#include <memory>
#include <vector>
#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace {

// A folder's full path as the user sees it, without a separator at its end
// but for a drive's root. A drive's name alone ("C:") is its root.
QString fullFolderPath(QString folder)
{
    if (folder.size() == 2 && folder[1] == u':')
        folder += u'\\';
    QString full = LocalFileSystem().resolvePath(folder);
    if (full.endsWith(u'\\') && !full.endsWith(u":\\"))
        full.chop(1);
    return full;
}

// The folder of a program's full path; a drive's root keeps its separator.
QString folderOf(const QString& path)
{
    QString folder = path.left(path.lastIndexOf(u'\\'));
    if (folder.endsWith(u':'))
        folder += u'\\';
    return folder;
}

bool isWithin(const QString& path, const QString& folder)
{
    if (path.compare(folder, Qt::CaseInsensitive) == 0)
        return true;
    const QString within = folder.endsWith(u'\\') ? folder : folder + u'\\';
    return path.startsWith(within, Qt::CaseInsensitive);
}

QString knownFolder(const KNOWNFOLDERID& id)
{
    wchar_t* path = nullptr;
    QString folder;
    if (SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path) == S_OK)
        folder = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    return folder;
}

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

} // namespace

QString LocalGameProbe::virtualStore(const QString& folder) const noexcept
{
    try {
        // The folders Windows protects, asked of the system: their names and
        // places differ from one installation to the next.
        const QString game = fullFolderPath(folder);
        for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
                                        FOLDERID_Windows, FOLDERID_ProgramData}) {
            const QString protectedFolder = knownFolder(id);
            if (protectedFolder.isEmpty() || !isWithin(game, protectedFolder))
                continue;
            // The user's VirtualStore holds the folder's path without its drive.
            const QString local = knownFolder(FOLDERID_LocalAppData);
            if (local.isEmpty() || game.size() < 2 || game[1] != u':')
                return {};
            return local + QStringLiteral("\\VirtualStore") + QStringView(game).mid(2);
        }
    } catch (...) {
    }
    return {};
}

bool LocalGameProbe::windowsProgramRunsFrom(const QString& folder) const noexcept
{
    try {
        const QString game = fullFolderPath(folder);
        const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (all == INVALID_HANDLE_VALUE)
            return false;
        const Handle snapshot(all, CloseHandle);
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        std::vector<wchar_t> program(32768);
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            if (entry.th32ProcessID == GetCurrentProcessId())
                continue;
            const Handle process(
                OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID),
                CloseHandle);
            DWORD length = DWORD(program.size());
            if (!process || !QueryFullProcessImageNameW(process.get(), 0, program.data(), &length))
                continue;
            // Another Tarvane.exe in the game folder is not the game.
            const QString image = QString::fromWCharArray(program.data(), int(length));
            if (folderOf(image).compare(game, Qt::CaseInsensitive) == 0 &&
                !image.endsWith(u"\\Tarvane.exe", Qt::CaseInsensitive))
                return true;
        }
    } catch (...) {
    }
    return false;
}
