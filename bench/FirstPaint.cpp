// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Starts, paints its window once, and exits: the whole-process start-up and
// memory figures of the benchmarks come from timing this program.
//
//   tarvane_first_paint tarvane LIBRARY-ROOT   Tarvane's window on a library
//   tarvane_first_paint bare                   a bare window of the same size and fonts
//   tarvane_first_paint next-list LIBRARY-ROOT Tarvane's window, then Next to set 2 until
//                                              painted, beside reading and decoding set 2's
//                                              Axis list in the same process

#include "app/Appearance.h"
#include "app/Program.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QStringDecoder>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>

namespace {

// Quits the program as soon as the watched window has painted once.
class FirstPaintWatcher : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};

// The baseline window: the same size, and a line in each of the fonts
// Tarvane's window uses, so that loading them counts on both sides.
class BareWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        int top = 20;
        for (const auto& [pixels, bold, italic] : {std::tuple{13, true, false},
                                                   {13, false, false},
                                                   {11, false, false},
                                                   {11, true, true}}) {
            QFont font(WindowFontFamily);
            font.setPixelSize(pixels);
            font.setBold(bold);
            font.setItalic(italic);
            painter.setFont(font);
            painter.drawText(20, top += 20, QStringLiteral("Frontline #1 (Default)"));
        }
    }
};

// The baseline first, so that the heap it leaves behind can only help the
// Next that follows.
void timeNextToTheList(FRM_tarvanescreen& window)
{
    QElapsedTimer timer;
    timer.start();
    QFile list(QStringLiteral("../Frontlines/Workfiles/AxisActive2.txt"));
    if (!list.open(QIODevice::ReadOnly))
        std::abort();
    QStringDecoder windows1252("windows-1252");
    const QString text = windows1252.decode(list.readAll());
    const qint64 readNanoseconds = timer.nsecsElapsed();
    if (text.isEmpty())
        std::abort();

    timer.restart();
    window.CMD_Next_Click();
    window.repaint();
    const qint64 nextNanoseconds = timer.nsecsElapsed();
    std::printf("next: %.3f ms\nread: %.3f ms\n", nextNanoseconds / 1e6, readNanoseconds / 1e6);
}

} // namespace

int main(int argc, char* argv[])
{
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    const bool bare = argc == 2 && QByteArrayView(argv[1]) == "bare";
    const bool nextList = argc == 3 && QByteArrayView(argv[1]) == "next-list";
    if (!bare && !nextList && !(argc == 3 && QByteArrayView(argv[1]) == "tarvane")) {
        std::fprintf(stderr, "usage: tarvane_first_paint tarvane|next-list LIBRARY-ROOT | bare\n");
        return 2;
    }
    if (!bare && !QDir::setCurrent(QString::fromLocal8Bit(argv[2])))
        return 2;

    QApplication app(argc, argv);
    prepareApplication(app);
    FirstPaintWatcher watcher;
    std::unique_ptr<BareWindow> bareWindow;
    std::unique_ptr<Program> program;
    if (bare) {
        bareWindow = std::make_unique<BareWindow>();
        bareWindow->setFixedSize(805, 581);
        bareWindow->installEventFilter(&watcher);
        bareWindow->show();
    } else {
        program = std::make_unique<Program>();
        program->window().installEventFilter(&watcher);
        program->start();
    }
    const int status = app.exec();
    if (nextList)
        timeNextToTheList(program->window());

    // The peak resident memory of this process alone, for the benchmark.
    QFile self(QStringLiteral("/proc/self/status"));
    if (self.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : self.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                std::printf("%s\n", line.constData());
        }
    }
    return status;
}
