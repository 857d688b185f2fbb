// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// A Load or a Remove killed at each of its system calls in turn, the way
// databases test themselves: strace runs it in a child process and sends it
// SIGKILL on entry to one call. After every stop the game pair must be the
// old one or the new one (none, for a Remove), nothing outside the game
// folder may have changed, and the next Load must put things right.

#include "Fixtures.h"
#include "GTestSupport.h"
#include "platform/disk/LocalFileSystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Finished
{
    bool killed;
    int exitCode;
    QString errorOutput;
};

Finished runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    // LeakSanitizer cannot work in a traced process; everything else can.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS",
                       environment.value("ASAN_OPTIONS") + QStringLiteral(":detect_leaks=0"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::CrashExit, process.exitCode(),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// A call of a traced run, named as strace names it, how many calls of that
// name the process had made up to and including it, and strace's line.
struct CrashPoint
{
    QString call;
    int ordinal;
    QString line;
};

// Every call of a traced run; with `loadOnly`, only those between the two
// marker calls.
QList<CrashPoint> callsOf(const QString& log, bool loadOnly)
{
    static const QRegularExpression callName(QStringLiteral("^([a-z0-9_]+)\\("));
    QMap<QString, int> seen;
    QList<CrashPoint> calls;
    int markers = 0;
    for (const QString& line : log.split(u'\n')) {
        const QRegularExpressionMatch match = callName.match(line);
        if (!match.hasMatch())
            continue;
        const QString call = match.captured(1);
        const int ordinal = ++seen[call];
        if (call == u"sched_yield")
            ++markers;
        else if (!loadOnly || markers == 1)
            calls.append({call, ordinal, line});
    }
    return !loadOnly || markers == 2 ? calls : QList<CrashPoint>();
}

// Ordinals of the calls of `call` whose line contains `text`, but for those
// failed by injection.
QList<int> ordinals(const QString& log, const QString& call, const QString& text)
{
    QList<int> found;
    for (const CrashPoint& point : callsOf(log, false)) {
        if (point.call == call && point.line.contains(text) && !point.line.contains(u"INJECTED"))
            found.append(point.ordinal);
    }
    return found;
}

// The folder-changing calls of a traced run (strace -y, successful calls
// only), one letter each: T a temporary made, P a game file put in place,
// moved aside, back or away, D a temporary discarded, S a sync of the game
// folder, F a sync of a file's data in it.
QString folderSteps(const QString& log, const QString& game)
{
    static const QRegularExpression change(
        QStringLiteral(R"(^(linkat|symlinkat|renameat2?|unlinkat|openat|fsync)\((.*)\) += (\d+))"));
    static const QRegularExpression quoted(QStringLiteral(R"x("([^"]*)")x"));
    QString steps;
    for (const QString& line : log.split(u'\n')) {
        const QRegularExpressionMatch call = change.match(line);
        if (!call.hasMatch())
            continue;
        const QString name = call.captured(1);
        const QString arguments = call.captured(2);
        QStringList names;
        for (const QRegularExpressionMatch& match : quoted.globalMatch(arguments))
            names << match.captured(1);
        const bool trace = !names.isEmpty() && names.last().contains(u".tarvane-");
        if (name == u"fsync") {
            if (arguments.endsWith('<' + game + '>'))
                steps += u'S';
            else if (arguments.contains('<' + game + '/'))
                steps += u'F';
        } else if (name == u"unlinkat") {
            steps += trace ? u'D' : u'P';
        } else if (name == u"openat") {
            if (trace && arguments.contains(u"O_CREAT"))
                steps += u'T';
        } else if (name.startsWith(u"rename")) {
            // A game file's name is changed whichever way it goes.
            steps += trace && names.first().contains(u".tarvane-") ? u'T' : u'P';
        } else {
            steps += trace ? u'T' : u'P';
        }
    }
    return steps;
}

// A power loss keeps any subset of a folder's unsynced changes on file
// systems that keep them in no order. So the game folder is synced between
// every temporary made and the first game file put in place, between two
// game files put in place, between putting back and discarding, and last
// of all; and the data of every new file (`newFiles` of them) is synced
// before a game file is touched.
void expectSyncedInOrder(const QString& steps, int newFiles)
{
    static const QRegularExpression unsynced(QStringLiteral("TP|PP|PD"));
    EXPECT_FALSE(unsynced.match(steps).hasMatch()) << qPrintable(steps);
    EXPECT_TRUE(steps.contains(u'P')) << qPrintable(steps);
    EXPECT_TRUE(steps.endsWith(u'S')) << qPrintable(steps);
    EXPECT_GE(steps.left(steps.indexOf(u'P')).count(u'F'), newFiles) << qPrintable(steps);
}

// How a Load does its work where the file system makes it choose: staged
// files without a name until complete (O_TMPFILE) or named from the start,
// and the old FRNTLINE.DAT kept by a hard link or moved aside; into a game
// folder with a pair or into an empty one (where nothing is kept).
struct LoadPath
{
    const char* name;
    bool named;
    bool moveAside;
    bool oldPair;
    bool remove = false;
    // The old FRNTLINE.DAT: a file of this user's, a link to one outside
    // the game folder, or another user's file (kept as this user's copy).
    enum { Own, Link, OtherUsers } oldFrontline = Own;
};

class CrashDuringLoad : public testing::TestWithParam<LoadPath>
{
protected:
    void SetUp() override
    {
        strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        for (const char* set : {"new", "third"}) {
            scratch.write(QString("%1/FRNTLINE.DAT").arg(set), QByteArray(set) + " frontline");
            scratch.write(QString("%1/AIRFIELD.DAT").arg(set), QByteArray(set) + " airfields");
        }
        resetGameFolder();
        outside = outsideTheGameFolder();
    }

    void resetGameFolder() const
    {
        QDir(scratch.path("game")).removeRecursively();
        scratch.write("game/other.txt", "not the game's pair");
        if (!GetParam().oldPair)
            return;
        scratch.write("game/AIRFIELD.DAT", "old airfields");
        const QString frontline = scratch.path("game/FRNTLINE.DAT");
        if (GetParam().oldFrontline == LoadPath::Link) {
            scratch.write("linked/FRNTLINE.DAT", "old frontline");
            QFile::link("../linked/FRNTLINE.DAT", frontline);
            return;
        }
        scratch.write("game/FRNTLINE.DAT", "old frontline");
        if (GetParam().oldFrontline == LoadPath::OtherUsers)
            ::chown(QFile::encodeName(frontline).constData(), 4242, 4242);
    }

    QMap<QString, QByteArray> outsideTheGameFolder() const
    {
        QMap<QString, QByteArray> entries = snapshot(scratch.path());
        entries.removeIf([](const auto& entry) { return entry.key().startsWith(u"game/"); });
        entries.insert("game/other.txt", snapshot(scratch.path("game")).value("other.txt"));
        return entries;
    }

    // "old" (the empty folder's none too), "new", "third", "none", or
    // "mixed".
    QString gamePair() const
    {
        const bool frontline = scratch.exists("game/FRNTLINE.DAT");
        const bool airfields = scratch.exists("game/AIRFIELD.DAT");
        if (!frontline && !airfields)
            return GetParam().oldPair ? QStringLiteral("none") : QStringLiteral("old");
        for (const char* pair : {"old", "new", "third"}) {
            if (scratch.read("game/FRNTLINE.DAT") == QByteArray(pair) + " frontline" &&
                scratch.read("game/AIRFIELD.DAT") == QByteArray(pair) + " airfields")
                return pair;
        }
        return QStringLiteral("mixed");
    }

    QStringList gameEntries(bool pair) const
    {
        return pair ? QStringList{"AIRFIELD.DAT", "FRNTLINE.DAT", "other.txt"}
                    : QStringList{"other.txt"};
    }

    QStringList load(const char* set) const
    {
        return {loadPair, scratch.path("game"), scratch.path(QString("%1/FRNTLINE.DAT").arg(set)),
                scratch.path(QString("%1/AIRFIELD.DAT").arg(set))};
    }
    // The change under test: a Load of the new pair, or a Remove.
    QStringList change() const
    {
        return GetParam().remove ? QStringList{loadPair, scratch.path("game")} : load("new");
    }
    // A Load that fails at once (its source is missing), after recovering.
    QStringList failingLoad() const
    {
        return {loadPair, scratch.path("game"), scratch.path("missing/FRNTLINE.DAT"),
                scratch.path("new/AIRFIELD.DAT")};
    }

    // The strace log of a run, with the descriptors' paths.
    QString traced(const QStringList& injections, const QStringList& command) const
    {
        const QString log = scratch.path("trace.log");
        runProgram(strace, QStringList{"-qq", "-y", "-o", log} + injections + command);
        const QString text = QString::fromLocal8Bit(scratch.read("trace.log"));
        QFile::remove(log);
        return text;
    }
    Finished crash(const QStringList& injections, const QStringList& command) const
    {
        return runProgram(strace, QStringList{"-qq", "-o", "/dev/null"} + injections + command);
    }

    // Makes a Load take this path: its O_TMPFILE opens fail, or the hard
    // link of the kept file. Each failure can add calls after it, so the
    // calls to fail are found one run at a time.
    void force()
    {
        const auto fail = [&](const QString& call, const QString& text) {
            for (;;) {
                resetGameFolder();
                const QList<int> at = ordinals(traced(injections(), change()), call, text);
                if (at.isEmpty())
                    return;
                forced[call].append(at.first());
            }
        };
        if (GetParam().named)
            fail("openat", "O_TMPFILE");
        if (GetParam().moveAside)
            fail("linkat", LocalFileSystem::KeptSuffix);
    }

    // strace's arguments that fail the forced calls, but those named `except`.
    QStringList injections(const QString& except = {}) const
    {
        QStringList arguments;
        for (const auto& [call, at] : forced.asKeyValueRange()) {
            if (call != except)
                arguments << "-e"
                          << QString("inject=%1:error=%2:when=%3..%4+%5")
                                 .arg(call, call == u"openat" ? "EOPNOTSUPP" : "EPERM")
                                 .arg(at.first())
                                 .arg(at.last())
                                 .arg(std::max(1, at.last() - at.first()));
        }
        return arguments;
    }

    // A kill on entry to a call, the forcing kept. strace injects one thing
    // per call name: a kill on a forced call's name before the first forced
    // call needs no forcing of it; one after it cannot be made, and its
    // state is that on entry to the call before it.
    std::optional<QStringList> killing(const CrashPoint& point) const
    {
        const QList<int> at = forced.value(point.call);
        if (!at.isEmpty() && point.ordinal > at.first())
            return std::nullopt;
        return injections(point.call)
               << "-e"
               << QString("inject=%1:signal=SIGKILL:when=%2").arg(point.call).arg(point.ordinal);
    }

    QString strace;
    Scratch scratch;
    QMap<QString, QByteArray> outside;
    QMap<QString, QList<int>> forced;
    const QString loadPair = QStringLiteral(TARVANE_LOAD_PAIR);
};

} // namespace

TEST_P(CrashDuringLoad, EveryCrashPointLeavesAWholePairAndTheNextLoadCleansUp)
{
    ASSERT_FALSE(strace.isEmpty()) << "strace is not installed (scripts/setup installs it)";
    if (GetParam().oldFrontline == LoadPath::OtherUsers && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give FRNTLINE.DAT to another user";
    const bool remove = GetParam().remove;
    const QString done = remove ? "none" : "new";
    // The files written with content: the staged pair, and another user's
    // old FRNTLINE.DAT kept as a copy.
    const int newFiles = (remove ? 0 : 2) + (GetParam().oldFrontline == LoadPath::OtherUsers);
    force();
    resetGameFolder();
    const QMap<QString, QByteArray> old = snapshot(scratch.path("game"));
    const QString log = traced(injections(), change());
    ASSERT_EQ(gamePair(), done) << qPrintable(log.right(2000));
    ASSERT_EQ(scratch.entries("game"), gameEntries(!remove));
    EXPECT_EQ(ordinals(log, "openat", "O_TMPFILE").isEmpty(), GetParam().named || remove);
    EXPECT_EQ(ordinals(log, "linkat", LocalFileSystem::KeptSuffix).isEmpty(),
              GetParam().moveAside || !GetParam().oldPair ||
                  GetParam().oldFrontline != LoadPath::Own);
    expectSyncedInOrder(folderSteps(log, scratch.path("game")), newFiles);
    const QList<CrashPoint> points = callsOf(log, true);
    ASSERT_GT(points.size(), 10);

    int killed = 0, unreachable = 0, mixedUntilRecovered = 0;
    std::optional<CrashPoint> betweenTheRenames;
    for (const CrashPoint& point : points) {
        SCOPED_TRACE(
            qPrintable(QString("killed on entry to %1 #%2").arg(point.call).arg(point.ordinal)));
        const std::optional<QStringList> kill = killing(point);
        if (!kill) {
            ++unreachable;
            continue;
        }
        resetGameFolder();
        const Finished stopped = crash(*kill, change());
        killed += stopped.killed || stopped.exitCode == 128 + 9;
        EXPECT_EQ(outsideTheGameFolder(), outside);

        // Killed between the two renames, the new FRNTLINE.DAT stands beside
        // the old AIRFIELD.DAT (or, moved aside, the old one is not yet
        // replaced; removed, it is gone); the old FRNTLINE.DAT (or the mark
        // that there was none) is still kept in the folder, and the next
        // Load, Restore or Remove puts it back first.
        const QString pair = gamePair();
        if (pair == u"mixed") {
            ++mixedUntilRecovered;
            const bool replaced = scratch.exists("game/FRNTLINE.DAT");
            if (replaced || remove)
                betweenTheRenames = point;
            EXPECT_TRUE(!replaced || scratch.read("game/FRNTLINE.DAT") == "new frontline");
            const QString kept = GetParam().oldPair
                                     ? PairJournal::kept(QStringLiteral("FRNTLINE.DAT"))
                                     : PairJournal::absent(QStringLiteral("FRNTLINE.DAT"));
            EXPECT_TRUE(scratch.exists("game/" + kept));
        } else {
            EXPECT_TRUE(pair == u"old" || pair == done) << qPrintable(pair);
        }

        const Finished failed = runProgram(loadPair, failingLoad().mid(1));
        EXPECT_EQ(failed.exitCode, 3);
        EXPECT_TRUE(failed.errorOutput.startsWith(QString::number(ENOENT) + ' '))
            << qPrintable(failed.errorOutput);
        EXPECT_EQ(gamePair(), pair == u"mixed" ? QString("old") : pair);
        if (gamePair() == u"old")
            EXPECT_EQ(snapshot(scratch.path("game")), old);
        else
            EXPECT_EQ(scratch.entries("game"), gameEntries(pair == u"new"));

        const Finished next = runProgram(loadPair, load("third").mid(1));
        EXPECT_EQ(next.exitCode, 0) << qPrintable(next.errorOutput);
        EXPECT_EQ(gamePair(), "third");
        EXPECT_EQ(outsideTheGameFolder(), outside);
    }
    EXPECT_EQ(killed + unreachable, points.size());
    // On entry to the sync after the first rename, and to the second rename;
    // moved aside, also on entry to the sync before the first and to it.
    // Removing: on entry to the sync after the first is gone, and to
    // deleting the second.
    EXPECT_EQ(mixedUntilRecovered, GetParam().moveAside && !remove ? 4 : 2);
    ASSERT_TRUE(betweenTheRenames);

    // The recovery of that mixed pair, itself killed at each of its calls:
    // the next one still ends with the old pair whole.
    const QStringList leaveMixed = *killing(*betweenTheRenames);
    resetGameFolder();
    crash(leaveMixed, change());
    const QString recovery = traced({}, failingLoad());
    expectSyncedInOrder(folderSteps(recovery, scratch.path("game")), 0);
    const QList<CrashPoint> recoveryPoints = callsOf(recovery, true);
    for (const CrashPoint& point : recoveryPoints) {
        SCOPED_TRACE(qPrintable(
            QString("recovery killed on entry to %1 #%2").arg(point.call).arg(point.ordinal)));
        resetGameFolder();
        crash(leaveMixed, change());
        crash(
            {"-e", QString("inject=%1:signal=SIGKILL:when=%2").arg(point.call).arg(point.ordinal)},
            failingLoad());
        EXPECT_EQ(runProgram(loadPair, failingLoad().mid(1)).exitCode, 3);
        EXPECT_EQ(snapshot(scratch.path("game")), old);
    }
    // A second rename (or deletion) that fails undoes the first, for root and
    // for anyone else (strace runs as that user too, so that only the
    // change's own calls are counted): the old pair back, in order, and no
    // temporary left.
    const QString secondCall = remove ? "unlinkat" : "renameat";
    const int second = ordinals(log, secondCall, "\"AIRFIELD.DAT\"").value(0);
    for (const QStringList& user :
         {QStringList(),
          QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}}) {
        SCOPED_TRACE(user.isEmpty() ? "second rename failing, as root"
                                    : "second rename failing, as nobody");
        resetGameFolder();
        if (!user.isEmpty()) {
            ::chmod(QFile::encodeName(scratch.path()).constData(), 0777);
            for (const QString& entry : QStringList{""} + scratch.entries("game"))
                ::chown(QFile::encodeName(scratch.path("game/" + entry)).constData(), 65534, 65534);
        }
        const QMap<QString, QByteArray> before = snapshot(scratch.path("game"));
        const QStringList tracer =
            user + QStringList{strace, "-qq", "-y", "-o", scratch.path("undo.log")};
        runProgram(tracer.first(),
                   tracer.mid(1) + injections(secondCall)
                       << "-e" << QString("inject=%1:error=EIO:when=%2").arg(secondCall).arg(second)
                       << change());
        EXPECT_EQ(snapshot(scratch.path("game")), before);
        expectSyncedInOrder(
            folderSteps(QString::fromLocal8Bit(scratch.read("undo.log")), scratch.path("game")),
            user.isEmpty() ? newFiles : 2 * !remove); // as nobody, the files are nobody's own
        QFile::remove(scratch.path("undo.log"));
    }
    std::printf("%s: crash points %lld (%d left out, as each is the state of the one before), "
                "mixed until the next Load %d; recovery crash points %lld\n",
                GetParam().name, static_cast<long long>(points.size()), unreachable,
                mixedUntilRecovered, static_cast<long long>(recoveryPoints.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CrashDuringLoad,
    testing::Values(LoadPath{"AnonymousLinked", false, false, true},
                    LoadPath{"AnonymousMovedAside", false, true, true},
                    LoadPath{"NamedLinked", true, false, true},
                    LoadPath{"NamedMovedAside", true, true, true},
                    LoadPath{"AnonymousIntoAnEmptyFolder", false, false, false},
                    LoadPath{"NamedIntoAnEmptyFolder", true, false, false},
                    LoadPath{"LinkAsTheOldFrontline", false, false, true, false, LoadPath::Link},
                    LoadPath{"OtherUsersOldFrontline", false, false, true, false,
                             LoadPath::OtherUsers},
                    LoadPath{"RemoveLinked", false, false, true, true},
                    LoadPath{"RemoveMovedAside", false, true, true, true}),
    [](const testing::TestParamInfo<LoadPath>& info) { return std::string(info.param.name); });
