// Helpers of the window benchmarks: waiting on the Qt loop, the wall clock,
// and a search of one port that ends with the indicator found (or not).
#pragma once

#include "app/MainForm.h"
#include "platform/Text.h"
#include "ui/Controls_qt.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <stdlib.h>
#include <string>
#include <time.h>

inline double WallSeconds() {
    timespec LTime{};
    clock_gettime(CLOCK_MONOTONIC, &LTime);
    return static_cast<double>(LTime.tv_sec) + static_cast<double>(LTime.tv_nsec) / 1e9;
}

inline void RunFor(int AMs) {
    QEventLoop LLoop;
    QTimer::singleShot(AMs, &LLoop, &QEventLoop::quit);
    LLoop.exec();
}

// Shows the form, searches APort for at most AMaxMs and tells whether the
// indicator was found; the message box "找到仪表" is closed as soon as it opens.
inline bool SearchUntilFound(TForm1& AForm, const std::string& APort, int AMaxMs) {
    AForm.ComboBox1->SetItems({Utf8ToUnicode(APort)});
    AForm.ComboBox1->SetItemIndex(0);
    AForm.Show();
    QTimer LCloser;
    QObject::connect(&LCloser, &QTimer::timeout, [] {
        if (QWidget* LBox = QApplication::activeModalWidget())
            LBox->close();
    });
    LCloser.start(50);
    AForm.Button1->Click();
    for (int LWaited = 0; LWaited < AMaxMs && !AForm.Button1->Enabled(); LWaited += 100)
        RunFor(100);
    LCloser.stop();
    return AForm.Bridge() && AForm.SuccessReadCount() >= 4;
}

// Runs the benchmarks on the Qt loop and controls (offscreen unless a
// platform is chosen).
inline int RunWindowBenchmarks(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication LApp(argc, argv);
    std::unique_ptr<TMessageLoop> LLoop = CreateQtMessageLoop();
    std::unique_ptr<TControlBackend> LControls = CreateQtControls();
    SetControlBackend(LControls.get());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetControlBackend(nullptr);
    return 0;
}
