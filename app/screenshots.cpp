// Pictures of the window for people to look at: run under Xvfb by
// `make screenshots` with quillex-devsim sending on the given status port.
#include "UnitUiPrompter.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "ui_UnitDeviceSettingsForm.h"
#include "ui_unitmainform.h"
#include "unitmainform.h"

#include "content/UnitTextDocument.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTest>

#include <Qsci/qsciscintilla.h>

#include <cstdio>

namespace {

void Save(QWidget* widget, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + ".png");
    if (widget->grab().save(path))
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationDisplayName("Quillex");
    if (argc < 4) {
        std::fprintf(stderr, "usage: quillex-screenshots OUTPUT-DIR STATUS-PORT PROGRAM\n");
        return 2;
    }
    const QString folder = argv[1];
    QDir().mkpath(folder);
    TDialogPrompter prompter;
    TMainFormOptions options;
    options.StatusPort = quint16(QString(argv[2]).toUInt());
    TFormMain window(prompter, options);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);

    // Three devices listed, then each one's status panel.
    QElapsedTimer timer;
    timer.start();
    auto* list = window.Form()->ListBoxDevices;
    while (list->count() < 3 && timer.elapsed() < 15000) {
        QTest::qWait(200);
        window.TimerDeviceInfoTimer();
    }
    for (int row = 0; row < list->count(); ++row) {
        list->setCurrentRow(row);
        window.TimerDeviceInfoTimer();
        Save(&window, folder, QString("device-list-%1").arg(row + 1));
    }

    // The settings dialog of the first device, as a double click opens it.
    TFormDeviceSettings dialog(prompter, &window);
    dialog.Initialize("Torna 1", "FANUC", 9600, 30, 1, 8, u'N', 1, "127.0.0.2", 5000, true, "02:51:58:00:00:02");
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
    Save(&dialog, folder, "settings-dialog");
    dialog.hide();

    // A program in the editor.
    QByteArray bytes;
    QString error;
    if (ReadWholeFile(argv[3], bytes, error)) {
        window.Form()->SynEditProgram->setText(JoinTextLines(ReadTextDocument(bytes).Lines, TLineBreakStyle::CrLf, true));
        QTest::qWait(300);
        Save(&window, folder, "editor-program");
    }
    window.close();
    return 0;
}
