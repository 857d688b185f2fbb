// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "GTestSupport.h"
#include "PlatformFakes.h"
#include "SystemErrors.h"
#include "errors/Guard.h"

#include <cerrno>

namespace {

class ErrorReporting : public testing::Test
{
protected:
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    ErrorReport report{boxes, exit};
};

} // namespace

TEST_F(ErrorReporting, FatalReportShowsTwoBoxesThenEnds)
{
    report.ShowProgramError(PlatformError(53, "File not found"));

    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown[0].title, "tarvane");
    EXPECT_EQ(boxes.shown[0].text,
              "Problem with program, Report the following message to: maintainers@tarvane.example");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(boxes.shown[1].title, "tarvane");
    EXPECT_EQ(boxes.shown[1].text, "Error 53:\r\nFile not found");
    EXPECT_EQ(boxes.shown[1].icon, MessageIcon::Information);
    EXPECT_EQ(exit.statuses, QList<int>{ErrorReport::FailureStatus});
    EXPECT_NE(ErrorReport::FailureStatus, 0);

    // The file or folder a failure concerns, and what to do, each on a line
    // of its own under the description.
    report.ShowProgramError(PlatformError(2, "No such file or directory", "/EAW/AIRFIELD.DAT"));
    report.ShowProgramError(
        PlatformError(13, "Permission denied", "/EAW").withAdvice("Give it permission."));
    report.ShowProgramError(PlatformError(16, "Busy").withAdvice("Wait."));
    ASSERT_EQ(boxes.shown.size(), 8);
    EXPECT_EQ(boxes.shown[3].text, "Error 2:\r\nNo such file or directory\r\n/EAW/AIRFIELD.DAT");
    EXPECT_EQ(boxes.shown[5].text, "Error 13:\r\nPermission denied\r\n/EAW\r\nGive it permission.");
    EXPECT_EQ(boxes.shown[7].text, "Error 16:\r\nBusy\r\nWait.");
}

TEST_F(ErrorReporting, DefaultReportNamesNumberAndDescriptionThenEnds)
{
    report.showDefaultReport(PlatformError::of(PlatformError::Failure::Overflow));

    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].title, "tarvane");
#ifndef _WIN32
    EXPECT_EQ(boxes.shown[0].text,
              QString("Run-time error '%1':\r\n\r\nValue too large for defined data type")
                  .arg(EOVERFLOW));
#else
    EXPECT_EQ(boxes.shown[0].text,
              "Run-time error '534':\r\n\r\n" + PlatformError::fromSystem(534).description());
#endif

    // A failure that concerns a file names it on a line of its own.
    report.showDefaultReport(PlatformError(2, "No such file or directory", "/EAW/FL#2.jpg"));
    EXPECT_EQ(boxes.shown.last().text,
              "Run-time error '2':\r\n\r\nNo such file or directory\r\n/EAW/FL#2.jpg");
    EXPECT_TRUE(exit.ended());
}

TEST_F(ErrorReporting, FatalGuardReportsTheFailureAndStopsTheOperation)
{
    const bool completed =
        fatalGuard(report, [] { throw PlatformError::fromSystem(SystemError::FileNotFound); });
    EXPECT_FALSE(completed);
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(fatalReportIn(boxes.shown), fatalReport(SystemError::FileNotFound));
    EXPECT_TRUE(exit.ended());

    EXPECT_TRUE(fatalGuard(report, [] {}));
    EXPECT_EQ(boxes.shown.size(), 2);
}

TEST_F(ErrorReporting, ResumeNextSkipsOnlyTheFailingStatement)
{
    QStringList steps;
    const ResumeNext next;
    next([&] { steps << "one"; });
    next([] { throw PlatformError::of(PlatformError::Failure::InvalidArgument); });
    next([&] { throw std::bad_alloc(); });
    next([&] { steps << "three"; });
    EXPECT_EQ(steps, (QStringList{"one", "three"}));
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(exit.ended());
}

TEST_F(ErrorReporting, HandlerBoundaryCatchesWhatNoGuardCaught)
{
    // An unguarded failure reaches the boundary through any depth of calls;
    // a guarded one is reported by its own guard and goes no further.
    runHandler(report, [&] {
        const auto unguardedStep = [] {
            throw PlatformError::of(PlatformError::Failure::Overflow);
        };
        unguardedStep();
    });
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Critical);

    runHandler(report, [&] {
        fatalGuard(report, [] { throw PlatformError::fromSystem(SystemError::AccessDenied); });
    });
    ASSERT_EQ(boxes.shown.size(), 3);
    EXPECT_EQ(fatalReportIn(boxes.shown), fatalReport(SystemError::AccessDenied));

    runHandler(report, [] { throw std::bad_alloc(); });
    ASSERT_EQ(boxes.shown.size(), 4);
    EXPECT_TRUE(boxes.shown[3].text.startsWith(
        QString("Run-time error '%1'").arg(SystemError::OutOfMemory)));
    EXPECT_EQ(exit.statuses.size(), 3);
}
