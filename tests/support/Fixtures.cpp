// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <stdexcept>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#endif

Scratch::Scratch(const QString& parent)
    : m_dir((parent.isEmpty() ? QDir::tempPath() : parent) + QStringLiteral("/tarvane-XXXXXX"))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString Scratch::path(const QString& relative) const
{
    // In native form, as the program's own paths are.
    return QDir::toNativeSeparators(relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative));
}

void Scratch::write(const QString& relative, const QByteArray& bytes) const
{
    writeFile(path(relative), bytes);
}

void Scratch::writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void Scratch::makeFolder(const QString& relative) const
{
    QDir().mkpath(path(relative));
}

QByteArray Scratch::read(const QString& relative) const
{
    return readFile(path(relative));
}

QByteArray Scratch::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(unreadable)";
    return file.readAll();
}

bool Scratch::exists(const QString& relative) const
{
    return QFileInfo::exists(path(relative));
}

QStringList Scratch::entries(const QString& relative) const
{
    return QDir(path(relative))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}

bool hardLink(const QString& target, const QString& link)
{
#ifdef _WIN32
    return CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.utf16()),
                           reinterpret_cast<const wchar_t*>(target.utf16()), nullptr);
#else
    return ::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

#ifndef _WIN32
int inChildProcess(const std::function<int()>& check)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(check());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
#endif

QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString name = QDir(folder).relativeFilePath(entry.filePath());
        QByteArray owner;
#ifndef _WIN32
        struct stat st = {};
        ::lstat(QFile::encodeName(entry.filePath()).constData(), &st);
        owner = QByteArray::number(st.st_uid) + ':' + QByteArray::number(st.st_gid) + ' ';
#endif
        if (entry.isSymLink())
            entries[name] = owner + "link to " + QFile::encodeName(entry.symLinkTarget());
        else if (entry.isDir())
            entries[name] = "folder";
        else
            entries[name] = owner + QByteArray::number(int(entry.permissions()), 16) + ": " +
                            Scratch::readFile(entry.filePath());
    }
    return entries;
}

GameFolder::GameFolder(int sets, const QString& parent) : m_scratch(parent), m_sets(sets)
{
    m_scratch.write("EAW/FRNTLINE.DAT", "the game's own frontline");
    m_scratch.write("EAW/AIRFIELD.DAT", "the game's own airfields");
    for (int set = 1; set <= sets; ++set) {
        const QString folder = QString("EAW/Frontlines/FrontLine(%1)/").arg(set);
        m_scratch.write(folder + "FRNTLINE.DAT", frontlineBytes(set));
        m_scratch.write(folder + "AIRFIELD.DAT", airfieldBytes(set));
        m_scratch.write(previewPath(set), "a preview");
        m_scratch.write(QString("EAW/Frontlines/Workfiles/AxisActive%1.txt").arg(set),
                        axisList(set));
        m_scratch.write(QString("EAW/Frontlines/Workfiles/AlliedActive%1.txt").arg(set),
                        QString("Merville\nBeauvechain %1\n").arg(set).toLatin1());
    }
    m_scratch.write("EAW/Frontlines/ReadMe/To_campaign_makers.txt",
                    "Notes for makers   \r\nline 2");
    m_scratch.write("EAW/Frontlines/ReadMe/TarvaneReadMe.txt", "Tarvane read-me\r\n");
}

QString GameFolder::previewPath(int set)
{
    return QString("EAW/Frontlines/FrontLine(%1)/").arg(set) +
           (set == 1 ? QString("FL#1(Default).jpg") : QString("FL#%1.jpg").arg(set));
}

QByteArray GameFolder::frontlineBytes(int set)
{
    return QByteArray("FRNT\0\r\n\xFF\xFE", 9) + QByteArray(set * 100, char(0x80 + set)) +
           QByteArray("\r\n\0", 3);
}

QByteArray GameFolder::airfieldBytes(int set)
{
    return QByteArray("AFLD\n\r\0\x01", 8) + QByteArray(set * 77, char(set)) + "\xFF";
}

QByteArray GameFolder::axisList(int set)
{
    return QByteArray("Caen   \r\n\xC9vreux ") + QByteArray::number(set) + "\r\n";
}

QString protectedFolder()
{
#ifdef _WIN32
    return qEnvironmentVariable("ProgramFiles");
#else
    return {};
#endif
}

#ifdef _WIN32
StandInGame::StandInGame(const QString& gameFolder, Kind kind)
{
    const QString name = kind == TarvaneThere ? "Tarvane.exe" : "EAW.exe";
    const QString program = QDir::toNativeSeparators(
        (kind == OtherProgramStartedThere ? QDir::tempPath() : gameFolder) + "/" + name);
    QFile::copy(QCoreApplication::applicationFilePath(), program);
    std::wstring commandLine = name.toStdWString();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    const QString in = kind == GameStartedElsewhere ? QDir::tempPath() : gameFolder;
    if (!CreateProcessW(program.toStdWString().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr,
                        QDir::toNativeSeparators(in).toStdWString().c_str(), &startup, &started))
        throw std::runtime_error("cannot start the stand-in game");
    CloseHandle(started.hThread);
    m_process = qint64(quintptr(started.hProcess));
}

StandInGame::~StandInGame()
{
    const HANDLE process = HANDLE(quintptr(m_process));
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

bool StandInGame::heldUp() const
{
    return false;
}
#else
class StoppedDisk
{
public:
    // Nothing of it cached, so that each look asks the server.
    StoppedDisk()
    {
        Scratch::writeFile(m_root.filePath("files/mounted"), {});
        QDir(m_root.path()).mkdir("disk");
        m_server.start("bindfs", {"-f", "-o", "attr_timeout=0,entry_timeout=0",
                                  m_root.filePath("files"), m_root.filePath("disk")});
        if (!m_server.waitForStarted())
            throw CannotStopADisk("bindfs is not installed");
        const auto mounted = [&] { return QFileInfo::exists(m_root.filePath("disk/mounted")); };
        for (int i = 0; i < 500 && !mounted() && m_server.state() == QProcess::Running; ++i)
            m_server.waitForFinished(10);
        if (!mounted())
            throw CannotStopADisk("bindfs mounts nothing here (no /dev/fuse?)");
    }

    QByteArray path() const { return QFile::encodeName(m_root.filePath("disk")); }

    void stop()
    {
        ::kill(pid_t(m_server.processId()), SIGSTOP);
        m_waker.start("sh",
                      {"-c", "sleep 10; kill -CONT $0", QString::number(m_server.processId())});
        m_waker.waitForStarted();
    }

    bool heldUp() { return m_waker.waitForFinished(0); }

    ~StoppedDisk()
    {
        m_waker.kill();
        m_waker.waitForFinished();
        ::kill(pid_t(m_server.processId()), SIGCONT);
        if (::umount2(path().constData(), MNT_DETACH) != 0)
            QProcess::execute("fusermount", {"-u", "-z", QFile::decodeName(path())});
        m_server.waitForFinished();
    }

private:
    QTemporaryDir m_root{QDir::tempPath() + "/tarvane-disk-XXXXXX"};
    QProcess m_server, m_waker;
};

StandInGame::StandInGame(const QString& gameFolder, Kind kind)
{
    if (kind == StartedInAStoppedDisk || kind == MappedFromAStoppedDisk)
        m_disk = std::make_unique<StoppedDisk>();
    // Each kind: the first word of its command line, its program file (a
    // copy of sleep, run by the loader, which maps it as Wine maps what it
    // runs; none for sleep itself) and the folder it starts in.
    const QByteArray game = QFile::encodeName(gameFolder), other = "C:\\windows\\notepad.exe";
    struct Shape
    {
        QByteArray first, program, folder;
    };
    const Shape shape = [&]() -> Shape {
        switch (kind) {
        case Game:
            return {"C:\\EAW\\EAW.exe", game + "/EAW.exe", game};
        case GameStartedElsewhere:
            return {"C:\\my.exe.games\\EAW\\EAW.exe", game + "/EAW.exe", "/"};
        case OtherProgramStartedThere:
            return {other, {}, game};
        case TarvaneThere:
            return {"C:\\EAW\\EAW.exe", game + "/Tarvane.exe", game};
        case StartedInAStoppedDisk:
            return {other, {}, m_disk->path()};
        case MappedFromAStoppedDisk:
            return {other, m_disk->path() + "/notepad.exe", "/"};
        }
        return {};
    }();
    QByteArray first = shape.first, program = shape.program;
    char seconds[] = "600";
    std::vector<char*> arguments = {first.data()};
    if (!program.isEmpty()) {
        QFile::copy("/bin/sleep", QFile::decodeName(program));
        arguments.push_back(program.data());
    }
    arguments.insert(arguments.end(), {seconds, nullptr});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, shape.folder.constData());
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.isEmpty() ? "/bin/sleep" : "/lib64/ld-linux-x86-64.so.2",
                    &actions, nullptr, arguments.data(), nullptr);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start the stand-in game");
    m_process = pid;
    // The spawn returns once the program is being started; its command line
    // shows a moment later, and its program file mapped after that.
    const auto started = [&] {
        return Scratch::readFile(QString("/proc/%1/cmdline").arg(pid)).startsWith(first) &&
               (program.isEmpty() ||
                Scratch::readFile(QString("/proc/%1/maps").arg(pid)).contains(program));
    };
    for (int i = 0; i < 500 && !started(); ++i)
        QThread::msleep(10);
    if (m_disk)
        m_disk->stop();
}

StandInGame::~StandInGame()
{
    ::kill(pid_t(m_process), SIGKILL);
    ::waitpid(pid_t(m_process), nullptr, 0);
}

bool StandInGame::heldUp() const
{
    return m_disk && m_disk->heldUp();
}
#endif
