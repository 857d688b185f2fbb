// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// A change cut short at each of its steps, the way databases test
// themselves. The crash matrix runs the real journal over the real file
// primitives of this system, cutting the power at call N (from that call
// on nothing reaches the disk, so no undo or clean-up can act) or failing
// call N alone; then a fresh recovery runs, and the game pair must be the
// old one or the new one (none, for a Remove), with nothing else in the
// game folder or outside it changed. On Linux, strace also traces a Load
// or a Remove in a process of its own, and fails its last change of a game
// file, to check that the real calls happen where the journal says and
// that the failure is undone for root and for anyone else.

#include "Fixtures.h"
#include "GTestSupport.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PairJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#ifndef _WIN32
#include <QProcess>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The order the journal promises, from the steps a change made, one letter
// each: T a temporary made, P a game file put in place, moved aside, back
// or away, D a temporary discarded, S a sync of the game folder. A power
// loss keeps any subset of a folder's unsynced changes on file systems
// that keep them in no order; so the folder is synced between every
// temporary made and the first game file put in place, between two game
// files put in place, between putting back and discarding, and last of
// all.
void expectSyncedInOrder(const QString& steps)
{
    static const QRegularExpression unsynced(QStringLiteral("TP|PP|PD"));
    EXPECT_FALSE(unsynced.match(steps).hasMatch()) << qPrintable(steps);
    EXPECT_TRUE(steps.contains(u'P')) << qPrintable(steps);
    EXPECT_TRUE(steps.endsWith(u'S')) << qPrintable(steps);
}

bool isTrace(const QString& name)
{
    return name.contains(u".tarvane-");
}

// How a change is stopped at call N: the power cut there (that call and
// every later one reach nothing); that call alone failed; or, where call N
// renames a staged file into place, the power cut half-way through it, as
// a volume that writes a rename as two changes of the folder (FAT, exFAT,
// ext4 without a journal) may leave it: the staged entry gone, the old one
// still there.
enum class Stop { Cut, Fail, Tear };

// The real primitives of a game folder, counting their calls, stopped at
// call `at` (none where it is 0). A volume without hard links, or a
// system that makes no link anew, is played by refusing those.
class CutFolder final : public ChangeFolder
{
public:
    CutFolder(const QString& folder, bool named, bool noLinks, bool noNewLinks, int at = 0,
              Stop stop = Stop::Cut)
        : m_real(openChangeFolder(folder)), m_cutAt(at), m_stop(stop), m_noNewLinks(noNewLinks)
    {
        m_real->anonymousStaging = anonymousStaging = !named;
        m_real->hardLinks = hardLinks = !noLinks;
    }

    bool torn = false;
    mutable int calls = 0;
    mutable QString steps;
    mutable QList<int> placedAt; // the calls that put a game file in place

    bool tryLock() override
    {
        return call(0, [&] { return m_real->tryLock(); });
    }
    Entry look(const QString& name) const override
    {
        return call(0, [&] { return m_real->look(name); });
    }
    QStringList entries() const override
    {
        return call(0, [&] { return m_real->entries(); });
    }
    bool ownTrace(const QString& trace, const QString& name, Trace kind,
                  const QStringList& pair) const override
    {
        return call(0, [&] { return m_real->ownTrace(trace, name, kind, pair); });
    }
    bool checkDestination(const QString& name, bool replacing) const override
    {
        return call(0, [&] { return m_real->checkDestination(name, replacing); });
    }
    std::unique_ptr<Source> openSource(const QString& path) const override
    {
        return call(0, [&] { return m_real->openSource(path); });
    }
    void stage(const QString& name, const QString& staged, Source& source, bool& named) override
    {
        call('T', [&] { m_real->stage(name, staged, source, named); });
    }
    bool keepByLink(const QString& name, const QString& kept) override
    {
        return call('T', [&] { return m_real->keepByLink(name, kept); });
    }
    void keepByCopy(const QString& name, const QString& kept, bool& named) override
    {
        call('T', [&] { m_real->keepByCopy(name, kept, named); });
    }
    bool keepByNewLink(const QString& name, const QString& kept) override
    {
        return call('T', [&] { return !m_noNewLinks && m_real->keepByNewLink(name, kept); });
    }
    void markAbsent(const QString& mark) override
    {
        call('T', [&] { m_real->markAbsent(mark); });
    }
    void rename(const QString& from, const QString& to) override
    {
        if (m_stop == Stop::Tear && calls + 1 == m_cutAt && from.endsWith(u".tarvane-new")) {
            ++calls;
            m_real->discard(from);
            torn = true;
            throw PlatformError(-1, QStringLiteral("the power is off"));
        }
        // A game file's name is changed whichever way it goes.
        call(isTrace(from) && isTrace(to) ? 'T' : 'P', [&] { m_real->rename(from, to); });
    }
    void remove(const QString& name) override
    {
        call('P', [&] { m_real->remove(name); });
    }
    void discard(const QString& trace) override
    {
        call(isTrace(trace) ? 'D' : 'P', [&] { m_real->discard(trace); });
    }
    void sync() override
    {
        call('S', [&] { m_real->sync(); });
    }
    QString path(const QString& name) const override { return m_real->path(name); }

private:
    // Counts the call, stops it where it is the one, and notes its step (on
    // entry: only whole runs, where no call fails, are read for steps).
    template <typename Call> auto call(char step, Call primitive) const -> decltype(primitive())
    {
        ++calls;
        if (calls == m_cutAt && m_stop == Stop::Fail)
            throw PlatformError(-2, QStringLiteral("injected"));
        if (m_cutAt > 0 && calls >= m_cutAt && m_stop != Stop::Fail)
            throw PlatformError(-1, QStringLiteral("the power is off"));
        if (step)
            steps += QChar(step);
        if (step == 'P')
            placedAt.append(calls);
        return primitive();
    }

    std::unique_ptr<ChangeFolder> m_real;
    int m_cutAt;
    Stop m_stop;
    bool m_noNewLinks;
};

// A way a change goes: a Load into a game folder with a pair, none, only
// AIRFIELD.DAT, a pair spelled in lower case, an old FRNTLINE.DAT with
// another link (kept as a copy) or that is a link (moved aside where a
// link cannot be made anew), or another user's pair changed by root (the
// player recovering after root's change, too); staged anonymously or
// named; kept by a hard link or, on a volume without them, a copy; a
// Remove; or the recovery of a Load cut between its renames.
struct MatrixPath
{
    const char* name;
    enum { Load, Remove, Recovery } change = Load;
    bool named = false;
    bool noLinks = false;
    enum { Pair, Empty, OnlyAirfields, LinkedElsewhere, LowerCase, Link } old = Pair;
    enum { Own, OtherUsers, PlayerRecovers } owner = Own;
};

// The names of a game folder's pair as the program finds them there.
QStringList gameNames(const QString& folder)
{
    QStringList names;
    for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
        names << QFileInfo(LocalFileSystem().resolvePath(folder + "/" + name)).fileName();
    return names;
}

class CrashMatrix : public testing::TestWithParam<MatrixPath>
{
protected:
    void SetUp() override
    {
        for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
            scratch.write(QString("new/") + name, "new " + QByteArray(name));
#ifdef _WIN32
        if (GetParam().owner != MatrixPath::Own)
            GTEST_SKIP() << "needs root to give the pair to another user";
        if (GetParam().old == MatrixPath::Link)
            GTEST_SKIP() << "Windows makes no link without a privilege";
#else
        if (GetParam().owner != MatrixPath::Own && ::geteuid() != 0)
            GTEST_SKIP() << "needs root to give the pair to another user";
#endif
        reset();
        outside = outsideTheGameFolder();
    }

    QString frontline() const
    {
        return GetParam().old == MatrixPath::LowerCase ? "frntline.dat" : "FRNTLINE.DAT";
    }
    QString airfields() const
    {
        return GetParam().old == MatrixPath::LowerCase ? "airfield.dat" : "AIRFIELD.DAT";
    }

    void reset() const
    {
        QDir(game()).removeRecursively();
        scratch.write("game/other.txt", "not the game's pair");
        const auto old = GetParam().old;
        if (old != MatrixPath::Empty)
            scratch.write("game/" + airfields(), "old AIRFIELD.DAT");
        if (old == MatrixPath::Pair || old == MatrixPath::LowerCase)
            scratch.write("game/" + frontline(), "old FRNTLINE.DAT");
        const QString from = scratch.path("elsewhere/FRNTLINE.DAT");
        const QString to = scratch.path("game/FRNTLINE.DAT");
        if (old == MatrixPath::Link) {
            scratch.write("elsewhere/FRNTLINE.DAT", "old FRNTLINE.DAT");
            ASSERT_TRUE(QFile::link(from, to));
        }
        if (old == MatrixPath::LinkedElsewhere) {
            scratch.write("elsewhere/FRNTLINE.DAT", "old FRNTLINE.DAT");
            ASSERT_TRUE(hardLink(from, to));
        }
#ifndef _WIN32
        // Another user's pair (the player's), in the player's game folder.
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        for (const QString& entry : QStringList{""} + scratch.entries("game")) {
            if (GetParam().owner != MatrixPath::Own)
                ::lchown(QFile::encodeName(scratch.path("game/" + entry)).constData(), 4242, 4242);
        }
#endif
    }

    QString game() const
    {
        return scratch.path("game");
    }

    QMap<QString, QByteArray> outsideTheGameFolder() const
    {
        QMap<QString, QByteArray> entries = snapshot(scratch.path());
        entries.removeIf([](const auto& entry) { return entry.key().startsWith(u"game"); });
        return entries;
    }

    // "old", "new", "none" or "mixed", by the game files alone.
    QString pair() const
    {
        const QMap<QString, QByteArray> now = snapshot(game());
        const QStringList names = {frontline(), airfields()};
        if (std::all_of(names.begin(), names.end(),
                        [&](const QString& name) { return now.value(name) == before.value(name); }))
            return "old";
        if (!now.contains(names[0]) && !now.contains(names[1]))
            return "none";
        if (scratch.read("game/" + names[0]) == "new FRNTLINE.DAT" &&
            scratch.read("game/" + names[1]) == "new AIRFIELD.DAT")
            return "new";
        return "mixed";
    }

    bool load(ChangeFolder& folder) const
    {
        try {
            PairJournal::copy(folder, gameNames(game()),
                              {scratch.path("new/FRNTLINE.DAT"), scratch.path("new/AIRFIELD.DAT")},
                              {});
            return true;
        } catch (const PlatformError&) {
            return false;
        }
    }

    // The change under test over `folder`; false where it raised.
    bool change(ChangeFolder& folder) const
    {
        const QStringList names = gameNames(game());
        try {
            if (GetParam().change == MatrixPath::Remove)
                PairJournal::remove(folder, names, {});
            else if (GetParam().change == MatrixPath::Recovery)
                PairJournal::finishInterrupted(folder, names);
            else
                return load(folder);
            return true;
        } catch (const PlatformError&) {
            return false;
        }
    }

    // A fresh start's recovery, as the program makes it at start-up (by
    // the player, where root made the change).
    void recover() const
    {
        const auto recovery = [&] {
            LocalFileSystem().finishInterruptedChange(
                {scratch.path("game/FRNTLINE.DAT"), scratch.path("game/AIRFIELD.DAT")});
        };
        try {
#ifndef _WIN32
            if (GetParam().owner == MatrixPath::PlayerRecovers) {
                EXPECT_EQ(inChildProcess([&] {
                              try {
                                  if (::setgid(4242) != 0 || ::setuid(4242) != 0)
                                      return 2;
                                  recovery();
                                  return 0;
                              } catch (const PlatformError& error) {
                                  return error.number() == EEXIST ? 3 : 4;
                              }
                          }),
                          0)
                    << "the player's recovery failed";
                return;
            }
#endif
            recovery();
        } catch (const PlatformError& error) {
            ADD_FAILURE() << "recovery failed: " << error.number() << " "
                          << qPrintable(error.description()) << " " << qPrintable(error.path());
        }
    }

    CutFolder folder(int at = 0, Stop stop = Stop::Cut) const
    {
        return CutFolder(game(), GetParam().named, GetParam().noLinks,
                         GetParam().old == MatrixPath::Link, at, stop);
    }

    // For the recovery rows: the game folder as a Load cut on its last
    // rename leaves it, new FRNTLINE.DAT beside old AIRFIELD.DAT.
    void mixBetweenTheRenames() const
    {
        int last = 0;
        {
            CutFolder whole = folder();
            load(whole);
            last = whole.placedAt.last();
        }
        reset();
        CutFolder cut = folder(last);
        load(cut);
    }

    Scratch scratch;
    QMap<QString, QByteArray> outside;
    QMap<QString, QByteArray> before;
};

} // namespace

TEST_P(CrashMatrix, EveryCutOrFailedCallLeavesTheOldPairOrTheNewOne)
{
    const MatrixPath& path = GetParam();
    const QString done = path.change == MatrixPath::Remove     ? "none"
                         : path.change == MatrixPath::Recovery ? "old"
                                                               : "new";
    const auto prepare = [&] {
        reset();
        if (path.change == MatrixPath::Recovery)
            mixBetweenTheRenames();
    };
    reset();
    before = snapshot(game());
    prepare();
    int total = 0;
    {
        CutFolder whole = folder();
        ASSERT_TRUE(change(whole));
        EXPECT_EQ(pair(), done);
        expectSyncedInOrder(whole.steps);
        total = whole.calls;
    }
    ASSERT_GT(total, 10);
    QMap<QString, int> ended;
    int mixed = 0;
    for (const Stop stop : {Stop::Cut, Stop::Fail, Stop::Tear}) {
        const QString how = stop == Stop::Cut ? "cut" : stop == Stop::Fail ? "failed" : "torn";
        for (int at = 1; at <= total; ++at) {
            SCOPED_TRACE(qPrintable(QString("%1 at call %2").arg(how).arg(at)));
            prepare();
            {
                CutFolder cut = folder(at, stop);
                EXPECT_FALSE(change(cut));
                if (stop == Stop::Tear && !cut.torn)
                    continue;
            }
            // A failed change is undone at once; a cut one at the next start.
            const QString left = pair();
            mixed += stop != Stop::Fail && left == u"mixed";
            if (stop == Stop::Fail && path.change != MatrixPath::Recovery) {
                EXPECT_TRUE(left == u"old" || left == done) << qPrintable(left);
                if (left == u"old") {
                    EXPECT_EQ(snapshot(game()), before);
                }
            }
            recover();
            const QString recovered = pair();
            if (recovered == u"old") {
                EXPECT_EQ(snapshot(game()), before);
            } else if (recovered == done) {
                EXPECT_EQ(scratch.entries("game").size(), done == u"none" ? 1 : 3);
            } else {
                ADD_FAILURE() << qPrintable(recovered) << " after recovery";
            }
            EXPECT_EQ(outsideTheGameFolder(), outside);
            ++ended[how + (recovered == u"old" ? ", old" : ", new")];
        }
    }
    // The matrix's row: calls; cut there, the old pair back, the new one
    // kept, and mixed until the recovery; failed there, old or new; torn
    // there, old or new.
    std::printf("| %s | %d | %d | %d | %d | %d | %d | %d | %d |\n", path.name, total,
                ended.value("cut, old"), ended.value("cut, new"), mixed, ended.value("failed, old"),
                ended.value("failed, new"), ended.value("torn, old"), ended.value("torn, new"));
}

const MatrixPath Paths[] = {
    MatrixPath{"LoadAnonymousKeptByLink"},
    MatrixPath{"LoadNamedKeptByLink", MatrixPath::Load, true},
    MatrixPath{"LoadAnonymousNoHardLinks", MatrixPath::Load, false, true},
    MatrixPath{"LoadNamedNoHardLinks", MatrixPath::Load, true, true},
    MatrixPath{"LoadIntoAnEmptyFolder", MatrixPath::Load, false, false, MatrixPath::Empty},
    MatrixPath{"LoadIntoAHalfFolder", MatrixPath::Load, false, false, MatrixPath::OnlyAirfields},
    MatrixPath{"LoadKeptByCopy", MatrixPath::Load, false, false, MatrixPath::LinkedElsewhere},
    MatrixPath{"LoadLinkMovedAside", MatrixPath::Load, false, false, MatrixPath::Link},
    MatrixPath{"LoadLowerCasePair", MatrixPath::Load, false, false, MatrixPath::LowerCase},
    MatrixPath{"RemoveKeptByLink", MatrixPath::Remove},
    MatrixPath{"RemoveNoHardLinks", MatrixPath::Remove, false, true},
    MatrixPath{"RemoveLowerCasePair", MatrixPath::Remove, false, false, MatrixPath::LowerCase},
    MatrixPath{"RecoveryOfAMixedPair", MatrixPath::Recovery},
    MatrixPath{"RecoveryOfAMixedPairNoHardLinks", MatrixPath::Recovery, false, true},
    MatrixPath{"RootLoadOverOthersPair", MatrixPath::Load, false, false, MatrixPath::Pair,
               MatrixPath::OtherUsers},
    MatrixPath{"RootLoadOverOthersLinkedPair", MatrixPath::Load, false, false,
               MatrixPath::LinkedElsewhere, MatrixPath::OtherUsers},
    MatrixPath{"RootRemoveOfOthersPair", MatrixPath::Remove, false, false, MatrixPath::Pair,
               MatrixPath::OtherUsers},
    MatrixPath{"RootLoadThePlayerRecovers", MatrixPath::Load, false, false, MatrixPath::Pair,
               MatrixPath::PlayerRecovers}};
const auto pathName = [](const testing::TestParamInfo<MatrixPath>& info) {
    return std::string(info.param.name);
};
INSTANTIATE_TEST_SUITE_P(Paths, CrashMatrix, testing::ValuesIn(Paths), pathName);

#ifndef _WIN32

namespace {

// Runs a program (strace) to its end, a minute at most.
void runProgram(const QString& program, const QStringList& arguments)
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
}

// A call of a traced run, named as strace names it, how many calls of that
// name the process had made up to and including it, and strace's line.
struct CrashPoint
{
    QString call;
    int ordinal;
    QString line;
};

// Every call of a traced run.
QList<CrashPoint> callsOf(const QString& log)
{
    static const QRegularExpression callName(QStringLiteral("^([a-z0-9_]+)\\("));
    QMap<QString, int> seen;
    QList<CrashPoint> calls;
    for (const QString& line : log.split(u'\n')) {
        const QRegularExpressionMatch match = callName.match(line);
        if (match.hasMatch())
            calls.append({match.captured(1), ++seen[match.captured(1)], line});
    }
    return calls;
}

// Ordinals of the calls of `call` whose line contains `text`, but for those
// failed by injection.
QList<int> ordinals(const QString& log, const QString& call, const QString& text)
{
    QList<int> found;
    for (const CrashPoint& point : callsOf(log)) {
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
        // The lock's own file is no step of the change.
        if (!names.isEmpty() && names.last().endsWith(u".tarvane-lock"))
            continue;
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

// The real calls keep the journal's order, and the data of every new file
// (`newFiles` of them) is synced before a game file is touched.
void expectRealCallsInOrder(const QString& steps, int newFiles)
{
    expectSyncedInOrder(QString(steps).remove(u'F'));
    EXPECT_GE(steps.left(steps.indexOf(u'P')).count(u'F'), newFiles) << qPrintable(steps);
}

// The real calls of each path but the recovery's, traced by strace in a
// process of its own (load_pair).
class TracedChange : public CrashMatrix
{
protected:
    void SetUp() override
    {
        CrashMatrix::SetUp();
        if (!IsSkipped() && GetParam().change == MatrixPath::Recovery)
            GTEST_SKIP() << "a recovery alone is no program's change to trace";
        strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    }

    // The change under test: a Load of the new pair, or a Remove.
    QStringList change() const
    {
        if (GetParam().change == MatrixPath::Remove)
            return {loadPair, game()};
        return {loadPair, game(), scratch.path("new/FRNTLINE.DAT"),
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
    // Makes a change take this path: its O_TMPFILE opens fail, or the hard
    // link of a kept file. Each failure can add calls after it, so the
    // calls to fail are found one run at a time.
    void force()
    {
        const auto fail = [&](const QString& call, const QString& text) {
            for (;;) {
                reset();
                const QList<int> at = ordinals(traced(injections(), change()), call, text);
                if (at.isEmpty())
                    return;
                forced[call].append(at.first());
            }
        };
        // Keeping comes before staging: its failures first.
        if (GetParam().noLinks)
            fail("linkat", PairJournal::KeptSuffix);
        if (GetParam().named)
            fail("openat", "O_TMPFILE");
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

    QString strace;
    QMap<QString, QList<int>> forced;
    const QString loadPair = QStringLiteral(TARVANE_LOAD_PAIR);
};

} // namespace

TEST_P(TracedChange, TheRealCallsKeepTheJournalsOrderAndAFailureIsUndoneForEveryUser)
{
    ASSERT_FALSE(strace.isEmpty()) << "strace is not installed (scripts/setup installs it)";
    const MatrixPath& path = GetParam();
    const bool remove = path.change == MatrixPath::Remove;
    // The files written with content: the staged pair.
    const int newFiles = remove ? 0 : 2;
    force();
    reset();
    before = snapshot(game());
    const QString log = traced(injections(), change());
    ASSERT_EQ(pair(), remove ? "none" : "new") << qPrintable(log.right(2000));
    EXPECT_EQ(scratch.entries("game").size(), remove ? 1 : 3);
    EXPECT_EQ(outsideTheGameFolder(), outside);
    EXPECT_EQ(ordinals(log, "openat", "O_TMPFILE").isEmpty(), path.named || remove);
    // Root links another user's file too; a file with another link is
    // copied, a link made anew.
    EXPECT_EQ(ordinals(log, "linkat", PairJournal::kept(frontline())).isEmpty(),
              path.noLinks || (path.old != MatrixPath::Pair && path.old != MatrixPath::LowerCase));
    expectRealCallsInOrder(folderSteps(log, game()), newFiles);

    // Its last change of a game file (a rename, a deletion or a move aside)
    // failing undoes the others, for anyone (strace runs as that user too,
    // so that only the change's own calls are counted): the old pair back,
    // in order, and no temporary left. (A kill there, as at any other call,
    // is the crash matrix's.)
    CrashPoint second{};
    for (const CrashPoint& point : callsOf(log)) {
        if ((point.call.startsWith(u"rename") || point.call == u"unlinkat") &&
            (point.line.contains('"' + frontline() + '"') ||
             point.line.contains('"' + airfields() + '"')))
            second = point;
    }
    ASSERT_FALSE(second.call.isEmpty());
    // As nobody where the test runs as root (root's own undo is the crash
    // matrix's failed column).
    const QStringList user = ::geteuid() == 0 ? QStringList{"setpriv", "--reuid=65534",
                                                            "--regid=65534", "--clear-groups"}
                                              : QStringList();
    reset();
    if (!user.isEmpty()) {
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0777);
        for (const QString& entry : QStringList{""} + scratch.entries("game"))
            ::lchown(QFile::encodeName(scratch.path("game/" + entry)).constData(), 65534, 65534);
    }
    const QMap<QString, QByteArray> old = snapshot(game());
    const QStringList tracer =
        user + QStringList{strace, "-qq", "-y", "-o", scratch.path("undo.log")};
    runProgram(tracer.first(),
               tracer.mid(1) + injections(second.call)
                   << "-e"
                   << QString("inject=%1:error=EIO:when=%2").arg(second.call).arg(second.ordinal)
                   << change());
    EXPECT_EQ(snapshot(game()), old);
    expectRealCallsInOrder(folderSteps(QString::fromLocal8Bit(scratch.read("undo.log")), game()),
                           newFiles);
}

INSTANTIATE_TEST_SUITE_P(Paths, TracedChange, testing::ValuesIn(Paths), pathName);

#endif
