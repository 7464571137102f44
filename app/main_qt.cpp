// scaleprobe: the main window.
#include "app/MainForm.h"
#include "app/Startup.h"
#include "platform/Controls_qt.h"

#include <QApplication>

#include <clocale>

int main(int argc, char** argv) {
    QApplication LApp(argc, argv);
    LApp.setApplicationName(QStringLiteral("scaleprobe"));
    // Qt sets the C locale from the environment too; say so once more, for
    // the decimal separator of the weights.
    std::setlocale(LC_ALL, "");
    std::unique_ptr<TMessageLoop> LLoop = CreateQtMessageLoop();
    std::unique_ptr<TControlBackend> LControls = CreateQtControls();
    SetControlBackend(LControls.get());

    StartUpUnits();
    int LResult;
    {
        TForm1 LForm;
        LForm.Show();
        LResult = LApp.exec();
    }
    ShutDownUnits();

    SetControlBackend(nullptr);
    LControls.reset();
    LLoop.reset();
    return LResult;
}
