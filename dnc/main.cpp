// quillex-dnc: the folder service. A program saved into a device's folder
// under the root is sent to that device as the window sends it.
#include "DncService.h"
#include "DncSettings.h"
#include "SignalPipe.h"

#include "config/Settings.h"
#include "device/PinStore.h"
#include "discovery/UnitStatusListener.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "update/VersionMarker.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

const char* const Description = R"(The DNC folder service: one folder per Quillex device under a root folder.
A program file saved into a device's folder is sent to that device as the
window's upload sends it (normalised, with its start-from index, compressed,
with the PIN stored for that device, read back and compared), then moved to
"gönderildi/" with a time stamp, or to "hata/" with a .txt file beside it
saying why. A file is sent once it has been closed and its size has not
changed for the stable time. While it is sent it waits in "işleniyor/"; after
a restart the device is asked whether it holds it before it is sent again.
Each send is one record of the transfer history (shared when the history is).

Settings, group [Dnc] of the settings file (quillex_settings.ini):
  Root=/srv/quillex-dnc     the root folder (required)
  Devices=Torna 1, Freze 2  the devices served, by name or MacId (all when empty)
  StableSeconds=2           how long a closed file must stay unchanged
  RetryMaxSeconds=300       the longest back-off for an offline or busy device
The window's [MainForm] VerifyAfterUpload and [History] settings apply.

Environment: QUILLEX_SETTINGS (the settings file), QUILLEX_STATUS_PORT,
QUILLEX_STATUS_KEY, QUILLEX_HISTORY_PASSWORD.
Logs go to standard output. SIGTERM ends the service after the send in
progress. Exit status: 0 when every file taken was sent, 1 when one was set
aside or (with --once) still waits, 2 for a usage or start error.)";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillex-dnc");
    QCoreApplication::setApplicationVersion(VersionText(BuiltVersion()));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption once("once", "Process the files waiting, then exit (for cron and tests).");
    const QCommandLineOption settingsOption("settings", "The settings file (default: the window's).", "FILE");
    const QCommandLineOption listen(
        "listen", "With --once: how long to listen for the devices first (default 3).", "SECONDS", "3");
    parser.addOptions({ once, settingsOption, listen });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quillex-dnc: unexpected argument %s\n", qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    bool ok = false;
    const double listenSeconds = parser.value(listen).toDouble(&ok);
    if (!ok || listenSeconds < 0 || listenSeconds > 600) {
        std::fprintf(stderr, "quillex-dnc: --listen needs seconds (0-600)\n");
        return 2;
    }

    QString error;
    quint16 statusPort = StatusPort;
    if (!LoadStatusKeyFromEnvironment(error) || !LoadStatusPortFromEnvironment(statusPort, error)) {
        std::fprintf(stderr, "quillex-dnc: %s\n", error.toUtf8().constData());
        return 2;
    }
    const QString settingsFile = parser.isSet(settingsOption) ? parser.value(settingsOption) : SettingsFilePath();
    SetPinStoreFileName(settingsFile);
    const TDncSettings settings = ReadDncSettings(settingsFile);

    THistoryRecorder recorder(
        DefaultHistoryPath(), HistoryMaxAgeDays(settingsFile), HistoryDatabaseSetting(settingsFile));
    QObject::connect(&recorder, &THistoryRecorder::Failed, &app,
        [](const QString& message) { DncLog(QString::fromUtf8("Aktarım geçmişi kaydedilemedi: %1").arg(message)); });
    bool sharedReachable = true;
    QObject::connect(&recorder, &THistoryRecorder::SharedState, &app,
        [&sharedReachable](bool reachable, qint64 waiting, const QString& message) {
            if (reachable != sharedReachable)
                DncLog(reachable ? QString::fromUtf8("Ortak aktarım geçmişine yeniden ulaşıldı")
                                 : QString::fromUtf8("Ortak aktarım geçmişine ulaşılamıyor (%1); %2 kayıt bekliyor")
                                       .arg(message)
                                       .arg(waiting));
            sharedReachable = reachable;
        });

    TDncService service(settings, statusPort, &recorder, parser.isSet(once), int(listenSeconds * 1000));
    TSignalPipe signalPipe;
    QObject::connect(&signalPipe, &TSignalPipe::Terminate, &service, &TDncService::Stop);
    QObject::connect(&service, &TDncService::Finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!service.Start(error)) {
        std::fprintf(stderr, "quillex-dnc: %s\n", error.toUtf8().constData());
        return 2;
    }
    app.exec();
    recorder.Flush();
    DncLog(QString::fromUtf8("quillex-dnc durdu"));
    return service.ExitCode();
}
