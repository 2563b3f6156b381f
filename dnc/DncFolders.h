#pragma once
// The folders of the folder service: under the root one folder per device,
// named as the device list shows the device; in each the files waiting, and
// the subfolders for a file being sent, sent files and refused ones.
#include <QDateTime>
#include <QString>

// Subfolders of a device's folder.
extern const char* const SentFolderName; // "gönderildi"
extern const char* const FailedFolderName; // "hata"
extern const char* const SendingFolderName; // "işleniyor"

// A device name as a folder name: no '/', no control characters, no leading
// '.', not empty (fallback instead), at most 100 characters.
QString DeviceFolderName(const QString& displayName, const QString& fallback);

// A file the service takes: a regular name, not hidden and not an editor's
// or a download's temporary file.
bool IsProgramFileName(const QString& name);

// "O1000.nc" at 2026-12-11 09:15:02 gives "O1000_20261211-091502.nc".
QString StampedFileName(const QString& name, const QDateTime& time);

// A file in SendingFolderName carries its history record's id before its name.
QString SendingFileName(const QString& uid, const QString& name);
// The id and the name back; false for a name that does not carry one.
bool ParseSendingFileName(const QString& sendingName, QString& uid, QString& name);

// Moves (renames) the file into folder under name, adding "-2", "-3", ...
// before the extension while the name is taken; the new path, or empty with
// the reason. Never replaces a file.
QString MoveFileInto(const QString& path, const QString& folder, const QString& name, QString& errorMsg);

// Writes text (UTF-8) as a new file, whole or not at all.
bool WriteTextFile(const QString& path, const QString& text, QString& errorMsg);
