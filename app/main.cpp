// The client's program start: --help and --version without a window, one
// instance per user (a second start hands its files over), the clean-up of an
// earlier self-update, then the main window.
#include "ApplicationSetup.h"
#include "SingleInstance.h"
#include "StartupOptions.h"
#include "dialogs/UiPrompter.h"
#include "unitmainform.h"
#include "update/UnitAutoUpdate.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

void SetIdentity()
{
    QCoreApplication::setApplicationName("quillex");
    QCoreApplication::setApplicationVersion(VersionText(BuiltVersion()));
}

// Brings the window to the front and opens the first file as the Open command
// does (with its question when the editor is not blank), once the window is free.
void ShowAndOpen(TFormMain& window, const QStringList& files)
{
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
    if (!files.isEmpty())
        window.OpenHandedOverFile(files.first());
}

} // namespace

int main(int argc, char** argv)
{
    if (IsInformationRequest(argc, argv)) {
        QCoreApplication app(argc, argv); // no display needed for a text
        SetIdentity();
        AnswerInformationRequest(app);
    }

    bool filesFound = true;
    const QStringList files = FilesToOpen(argc, argv, &filesFound);
    QApplication app(argc, argv);
    SetIdentity();
    QString error;
    if (!SetUpApplication(app, error))
        std::fprintf(stderr, "quillex: %s\n", qPrintable(error));
    app.setDesktopFileName("quillex"); // the desktop entry, for the icon on Wayland

    // Ownership first, then the window: a start in between cannot become a second instance.
    TSingleInstance instance(InstanceRuntimeFolder());
    if (!instance.Claim()) {
        if (instance.HandOver(files))
            return filesFound ? 0 : 1;
        std::fprintf(stderr, "quillex: the running window does not answer\n");
        return 1;
    }
    // What an earlier self-update left behind: the script, or an update not installed.
    if (const QString stale = CleanUpUpdateFiles(); !stale.isEmpty())
        std::fprintf(stderr, "quillex: %s\n", qPrintable(stale));

    TMainFormOptions options;
    if (!LoadStatusKeyFromEnvironment(error) || !LoadStatusPortFromEnvironment(options.StatusPort, error)) {
        std::fprintf(stderr, "quillex: %s\n", qPrintable(error));
        return 2;
    }

    TDialogPrompter prompter;
    TFormMain window(prompter, options);
    prompter.SetParent(&window);
    QObject::connect(&instance, &TSingleInstance::Activated, &window,
        [&window](const QStringList& handed) { ShowAndOpen(window, handed); });

    window.show();
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, &files] { window.OpenHandedOverFile(files.first()); });
    return app.exec();
}
