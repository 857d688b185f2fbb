// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <stdexcept>

// A scratch folder that files can be written into by relative path: in the
// system's temporary folder, or in `parent`.
class Scratch
{
public:
    explicit Scratch(const QString& parent = {});
    // The path of an entry, in native form; `relative` may use "/".
    QString path(const QString& relative = {}) const;
    void write(const QString& relative, const QByteArray& bytes) const;
    void makeFolder(const QString& relative) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    QStringList entries(const QString& relative = {}) const;

    static void writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir m_dir;
};

// Makes `link` another name of the file `target`; false where it cannot.
bool hardLink(const QString& target, const QString& link);

#ifndef _WIN32
// Runs a check in a child process and gives its exit status (-1 where the
// child did not exit); the child prints why a check failed.
int inChildProcess(const std::function<int()>& check);
#endif

// Every entry below a folder, by relative path, with what it is: a file's
// owner (on POSIX systems), content and permission bits, a link's target,
// or a folder mark. Links are not followed.
QMap<QString, QByteArray> snapshot(const QString& folder);

// A game folder EAW with the game's own pair and a library Frontlines of
// numbered sets, each with its pair, its lists and a stand-in preview (the
// window tests draw real ones).
class GameFolder
{
public:
    explicit GameFolder(int sets, const QString& parent = {});

    QString libraryRoot() const { return m_scratch.path("EAW/Frontlines"); }
    const Scratch& scratch() const { return m_scratch; }
    int sets() const { return m_sets; }

    static QString previewPath(int set);

    // Distinct binary content for each set's files, with NUL, CR, LF and
    // high bytes in it.
    static QByteArray frontlineBytes(int set);
    static QByteArray airfieldBytes(int set);
    static QByteArray axisList(int set);

private:
    Scratch m_scratch;
    int m_sets;
};

// Where Windows keeps what an old program writes as an ordinary user: the
// test's game folders are made under it to be under a protected folder.
// Empty on other systems.
QString protectedFolder();

#ifndef _WIN32
// A folder of its own mounted through bindfs, whose server stop() stops:
// whatever looks at a path in it then waits, until the server goes on
// again ten seconds later, noting that something was held up.
class StoppedDisk;
#endif
// What StandInGame throws where it cannot mount such a disk.
struct CannotStopADisk : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// A stand-in for a Windows program running while it lives: European Air
// War, its program file EAW.exe in the game folder, started there or
// elsewhere (as C:\my.exe.games\EAW\EAW.exe); another Windows program, started there from its own
// folder; or Tarvane.exe from the game folder. Under Wine on Linux, a process whose command line
// names a Windows program and that maps the program file, as Wine maps what it runs; on Windows,
// that program (held suspended, so it does nothing). On Linux also another Windows program
// started in a disk that stops answering, or mapping its program file from one: a look at the
// game that waits on it is noted by heldUp().
class StandInGame
{
public:
    enum Kind {
        Game,
        GameStartedElsewhere,
        OtherProgramStartedThere,
        TarvaneThere,
        StartedInAStoppedDisk,
        MappedFromAStoppedDisk
    };
    explicit StandInGame(const QString& gameFolder, Kind kind = Game);
    ~StandInGame();
    StandInGame(const StandInGame&) = delete;
    StandInGame& operator=(const StandInGame&) = delete;

    bool heldUp() const;

private:
    qint64 m_process = -1;
#ifndef _WIN32
    std::unique_ptr<StoppedDisk> m_disk;
#endif
};
