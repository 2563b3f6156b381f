// The folder service: a 1 MiB program saved into a device's folder until the
// simulated device has stored it and the service has read it back, against
// `quillex-cli upload --verify` of the same file. The service waits for the
// stable time before it sends; that time is taken off its side of the ratio.
#include "BenchUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr double StableSeconds = 0.2;

QByteArray BenchProgram(qsizetype size)
{
    QByteArray text = "%\nO4000 (DNC BENCH)\nG21 G90 G17\n";
    for (int line = 0; text.size() < size; ++line) {
        if (line % 2000 == 0)
            text += "T" + QByteArray::number(line / 2000 % 20 + 1) + " M6\n";
        text += "G1 X" + QByteArray::number(line % 400) + ".25 Y" + QByteArray::number(line % 170) + ".5 F800\n";
    }
    return text + "M30\n%\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir dir;
    const quint16 port = BenchStatusPort();
    const QString ip = BenchAddress("40.1");
    const QString root = dir.filePath("dnc"), folder = root + "/Bench 1";
    {
        QSettings settings(dir.filePath("quillex_settings.ini"), QSettings::IniFormat);
        settings.setValue("Dnc/Root", root);
        settings.setValue("Dnc/StableSeconds", StableSeconds);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLEX_STATUS_PORT", QString::number(port));
    env.insert("QUILLEX_SETTINGS", dir.filePath("quillex_settings.ini"));
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("XDG_DATA_HOME", dir.path());
    env.insert("QUILLEX_NO_KEYCHAIN", "1");

    QProcess devsim;
    devsim.start(bin + "/quillex-devsim",
        { "--target", QString("127.0.0.1:%1").arg(port), "--device",
            QString("ip=%1,name=Bench 1,interval=200,maxfilesize=33554432,controller=FANUC,hw=HW4,build=512")
                .arg(ip) });
    if (!devsim.waitForReadyRead(5000)) {
        devsim.kill();
        qFatal("quillex-devsim did not start");
    }
    QProcess service;
    service.setProcessEnvironment(env);
    service.setStandardOutputFile(dir.filePath("dnc.log"));
    service.start(bin + "/quillex-dnc");
    // A failure ends the processes started here before the benchmark stops.
    const auto fail = [&](const QByteArray& message) {
        service.kill();
        service.waitForFinished(5000);
        devsim.kill();
        devsim.waitForFinished(5000);
        dir.remove();
        qFatal("%s", message.constData());
    };
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(folder).isDir() && wait.elapsed() < 10000)
        QThread::msleep(20);
    if (!QFileInfo(folder).isDir())
        fail("quillex-dnc made no folder for the device");

    const QByteArray program = BenchProgram(1024 * 1024);
    WriteBenchFile(dir.filePath("O4000.nc"), program);
    int run = 0;
    const auto ours = [&] {
        const int sentBefore = int(QDir(folder + "/gönderildi").entryList(QDir::Files).size());
        WriteBenchFile(folder + QString("/O4%1.nc").arg(++run, 3, 10, QChar('0')), program);
        QElapsedTimer timer;
        timer.start();
        while (QDir(folder + "/gönderildi").entryList(QDir::Files).size() == sentBefore) {
            if (timer.elapsed() > 60000 || !QDir(folder + "/hata").entryList(QDir::Files).isEmpty()) {
                QFile log(dir.filePath("dnc.log"));
                log.open(QIODevice::ReadOnly);
                fail("quillex-dnc did not send the program:\n" + log.readAll());
            }
            QThread::msleep(2);
        }
    };
    const auto peer = [&] {
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.setStandardOutputFile(QProcess::nullDevice());
        // The service holds the status port: the command line is given the device's facts.
        cli.start(bin + "/quillex-cli",
            { "upload", ip, dir.filePath("O4000.nc"), "--verify", "--progress", "none", "--no-status", "--controller",
                "FANUC", "--hw", "HW4", "--build", "512", "--maxfilesize", "33554432" });
        if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
            fail("quillex-cli upload failed: " + cli.readAllStandardError());
    };
    TPairs pairs = TakePairs(ours, peer);
    PrintPairs("dropped 1 MiB until stored / quillex-cli upload (as measured)", pairs);
    for (TTimes& t : pairs.Ours)
        t.Wall -= StableSeconds;
    PrintPairs("dropped 1 MiB until stored, less the 0.2 s stable time / cli upload", pairs, 1.2);
    service.terminate();
    service.waitForFinished(30000);
    devsim.terminate();
    devsim.waitForFinished(5000);
    return 0;
}
