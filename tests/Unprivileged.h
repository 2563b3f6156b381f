#pragma once
// Running a program as a user without privileges when the tests run as root
// (as CI does): root passes every permission check, so a read-only file or a
// server that refuses to run as root needs another user to show its behaviour.
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <unistd.h>

// The "nobody" user and group of Debian.
constexpr uint UnprivilegedId = 65534;

inline bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

// The program and arguments to start: unchanged for an ordinary user, behind
// setpriv as nobody for root.
inline void Unprivileged(QString& program, QStringList& args)
{
    if (!RunningAsRoot())
        return;
    args = QStringList {
        QString("--reuid=%1").arg(UnprivilegedId), QString("--regid=%1").arg(UnprivilegedId), "--clear-groups", program
    } + args;
    program = "setpriv";
}

// Lets the unprivileged user into a folder the test made (0700 by default).
inline bool OpenFolderToOthers(const QString& path)
{
    return QFile::setPermissions(path,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::ExeOther);
}
