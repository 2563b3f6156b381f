// The client's program start: one instance per user, then the main window.
#include "ApplicationSetup.h"
#include "dialogs/UiPrompter.h"
#include "unitmainform.h"
#include "update/UnitAutoUpdate.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

QString InstanceName()
{
    return QString("quillex-client-%1").arg(::getuid());
}

// A running instance brings its window to the front when asked.
bool AskRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(InstanceName());
    if (!socket.waitForConnected(500))
        return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(500);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is reached, so it works without a display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillex %s\n", qPrintable(VersionText(BuiltVersion())));
            return 0;
        }

    QApplication app(argc, argv);
    QString error;
    if (!SetUpApplication(app, error))
        std::fprintf(stderr, "quillex: %s\n", qPrintable(error));

    if (AskRunningInstance())
        return 0;
    // What an earlier self-update left behind: the script, or an update not installed.
    CleanUpUpdateFiles();

    TMainFormOptions options;
    if (!LoadStatusKeyFromEnvironment(error) || !LoadStatusPortFromEnvironment(options.StatusPort, error)) {
        std::fprintf(stderr, "quillex: %s\n", qPrintable(error));
        return 2;
    }

    TDialogPrompter prompter;
    TFormMain window(prompter, options);
    prompter.SetParent(&window);

    QLocalServer instance;
    QLocalServer::removeServer(InstanceName()); // a stale socket of a crashed run
    instance.listen(InstanceName());
    QObject::connect(&instance, &QLocalServer::newConnection, &window, [&] {
        while (QLocalSocket* peer = instance.nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            window.show();
            window.raise();
            window.activateWindow();
        }
    });

    window.show();
    return app.exec();
}
