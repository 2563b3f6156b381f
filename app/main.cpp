// The client's program start: one instance per user, then the main window.
#include "SingleInstance.h"
#include "StartupOptions.h"
#include "UiPrompter.h"
#include "unitmainform.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

void SetIdentity()
{
    QCoreApplication::setApplicationName("quillex");
    QCoreApplication::setApplicationVersion(QUILLEX_VERSION);
}

// Brings the window to the front and opens the first file as the Open command
// does (with its question when the editor holds unsaved changes).
void ShowAndOpen(TFormMain& window, const QStringList& files)
{
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
    if (!files.isEmpty())
        window.OpenFile(files.first());
}

} // namespace

int main(int argc, char** argv)
{
    if (IsInformationRequest(argc, argv)) {
        QCoreApplication app(argc, argv); // no display needed for a text
        SetIdentity();
        AnswerInformationRequest(app);
    }

    QApplication app(argc, argv);
    SetIdentity();
    app.setApplicationDisplayName("Quillex");
    app.setDesktopFileName("quillex"); // the desktop entry, for the icon on Wayland
    const QStringList files = FilesToOpen(app);

    TSingleInstance instance(InstanceRuntimeFolder());
    if (!instance.Claim()) {
        if (instance.HandOver(files))
            return 0;
        std::fprintf(stderr, "quillex: the running window does not answer\n");
        return 1;
    }

    QString error;
    if (!LoadStatusKeyFromEnvironment(error)) {
        std::fprintf(stderr, "quillex: %s\n", qPrintable(error));
        return 2;
    }

    TDialogPrompter prompter;
    TFormMain window(prompter);
    prompter.SetParent(&window);
    QObject::connect(&instance, &TSingleInstance::Activated, &window,
        [&window](const QStringList& handed) { ShowAndOpen(window, handed); });

    window.show();
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, &files] { window.OpenFile(files.first()); });
    return app.exec();
}
