#pragma once
// UnitAutoUpdate: the self-update. A quiet check whether the update server
// offers a newer version, the verified download of that version beside the
// running program, the updater script that replaces the program once it has
// exited and starts it again, and the clean-up of both files at every start.
//
// The server holds three files under one folder (see the paths below); the
// version of a program file is read from its version marker (VersionMarker.h).
#include "UpdateHttpClient.h"
#include "VersionMarker.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// On the update server, below the base address.
inline constexpr const char* UpdateVersionPath = "/downloads/linux-x86_64/quillex.inc";
inline constexpr const char* UpdateCrcPath = "/downloads/linux-x86_64/quillex.crc";
inline constexpr const char* UpdateProgramPath = "/downloads/linux-x86_64/quillex";
// The publisher's detached Ed25519 signature of the program file (UpdateSignature.h).
inline constexpr const char* UpdateSignaturePath = "/downloads/linux-x86_64/quillex.sig";

// Beside the program file.
inline constexpr const char* UpdateFileName = "quillex.update";
inline constexpr const char* UpdaterScriptName = "quillex-updater.sh";

// A program file above this size is refused before it fills memory.
inline constexpr qint64 MaxUpdateProgramBytes = qint64(512) * 1024 * 1024;

struct TUpdateSettings {
    QString BaseUrl; // "https://host[:port][/folder]"
    QString CaFile; // one more trusted certificate authority (PEM)
    QString ProgramFile; // the program to replace; its folder holds the update files
    qint64 ProcessId = 0; // the process whose exit the updater script waits for
    int TimeoutMs = 15000;
    bool SelfUpdate = true; // false where a package manager installs the program
    bool Check = true; // "Update", "Check": false makes no request at all
    QByteArray PublicKey; // Ed25519 (DER); empty: the CRC is the only check
    qint64 MaxProgramBytes = MaxUpdateProgramBytes;
};

// The running program with the update server of QUILLEX_UPDATE_URL, else of
// the settings file ("Update", "BaseUrl"), else the built-in one;
// QUILLEX_UPDATE_CA_FILE adds a trusted authority (for tests). "Update",
// "Check" = false (or 0) in the settings file turns every request off.
TUpdateSettings DefaultUpdateSettings();

// "Update", "BaseUrl" from the settings file; empty when not set.
QString UpdateBaseUrlFromSettingsFile();

// The messages of the update.
QString UpdateUnreachableText(); // "Güncelleme sunucusuna ulaşılamadı."
QString UpdateCurrentText(); // "Güncel sürümü kullanıyorsunuz."
QString UpdateCrcFailedText(); // "İndirilen dosya doğrulanamadı (CRC), güncelleme yapılmadı."
QString UpdateByPackageManagerText(); // "Bu kurulum paket yöneticisiyle güncellenir."
QString UpdateVersionMismatchText(); // "İndirilen dosyanın sürümü beklenen sürüm değil, güncelleme yapılmadı."
QString UpdateSignatureFailedText(); // "Güncellemenin imzası doğrulanamadı, güncelleme yapılmadı."
QString UpdateCheckDisabledText(); // "Güncelleme denetimi ayarlarda kapatılmış ([Update] Check=false)."
QString UpdateLaunchFailedText(const QString& reason); // "Güncelleme başlatılamadı: %s"

// One line for --version of a self-updating build: whether it installs only
// signed updates or checks them by their CRC alone. Empty for a build without
// self-update (a package).
QString UpdateBuildDescription();

// Whether this installation may replace its own program file: a self-updating
// build, and a program folder that belongs to the user, is writable by nobody
// else (another local user could plant links or swap the script there) and
// accepts new files. False means the package manager (or the administrator)
// updates it.
bool CanUpdateItself(const TUpdateSettings& settings);
// Whether the start-up check asks the server at all: checking is on and the
// installation can update itself (a badge for an update that cannot be
// installed would be untrue).
bool ShouldCheckForUpdates(const TUpdateSettings& settings);

// major × 16777215 + minor × 65535 + release × 255 + build, wrapping in 32 bits.
qint32 VersionNumber(const TVersionComponents& version);
qint32 GetFileVersionNumber(const QString& fileName); // 0 without a marker
qint32 GetOwnVersionNumber(); // of the running program's file
QString GetFileVersionText(const QString& fileName); // "" without a marker
// CRC-32 (IEEE 802.3, as zlib) of the file; 0 and ok false when it cannot be read.
quint32 FileCrc32(const QString& fileName, bool* ok = nullptr);

std::unique_ptr<TUpdateHttpClient> CreateUpdateHttpClient(const TUpdateSettings& settings);
// The server's version number; -1 on any failure or a body that is no integer.
qint32 GetRemoteVersionNumber(TUpdateHttpClient& client);

using TUpdateResultProc = std::function<void(bool available)>;
using TUpdateProgressProc = std::function<void(qint32 percent)>;
using TUpdateDoneProc = std::function<void(bool ok, const QString& resultText)>;

// The work of the two background operations on the calling thread. The check
// makes no request unless ShouldCheckForUpdates.
bool CheckForNewVersion(const TUpdateSettings& settings);
// Ok with the new version's text, or the message. Progress as the program file
// arrives: the CRC file's request reports first, and the last percentage is
// kept across both requests. The program file is streamed into the update
// file (created new, never through a link); it stays only when its CRC, its
// signature (for a build with a key) and its own version marker (equal to the
// announced version, newer than the running program) all hold.
std::pair<bool, QString> DownloadUpdate(const TUpdateSettings& settings, const TUpdateProgressProc& onProgress);

// Each runs on its own worker thread and returns at once. The callbacks are
// queued to the receiver's thread; once the receiver is destroyed nothing more
// is delivered, and the worker still ends by itself.
void CheckForNewVersionInBackground(
    QObject* receiver, TUpdateResultProc onResult, TUpdateSettings settings = DefaultUpdateSettings());
void DownloadUpdateInBackground(QObject* receiver, TUpdateProgressProc onProgress, TUpdateDoneProc onDone,
    TUpdateSettings settings = DefaultUpdateSettings());
// Workers still running (tests watch them end).
int RunningUpdateWorkers();

// The POSIX shell script that waits for the process to exit, moves the update
// over the program (its mode kept, executable) and starts the program again.
QString UpdaterScriptText(const TUpdateSettings& settings);
// Single quotes for the shell; any text comes through unchanged.
QString ShellQuote(const QString& text);
// Writes the script beside the program (created new, never through a link)
// and starts it detached; false when it could not be written or started, with
// the system's reason in error. scriptPid receives the script's process, which
// becomes the restarted program.
bool LaunchUpdaterScript(
    const TUpdateSettings& settings = DefaultUpdateSettings(), qint64* scriptPid = nullptr, QString* error = nullptr);
// Deletes the update file and the script beside the program (a link there is
// removed, never followed); missing files are no error. Returns the message
// for a file that could not be removed, empty when all is well.
QString CleanUpUpdateFiles(const QString& programFile = QString());
