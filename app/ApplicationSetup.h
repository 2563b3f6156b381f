#pragma once
// What the window program sets up before its window: its name, and Qt's own
// Turkish texts for the standard buttons and dialogs ("Tamam", "İptal", the
// file dialog). No display name: Qt would append it to every window title.
#include <QString>

class QCoreApplication;

// False, with the reason, when Qt's Turkish translations cannot be loaded;
// the program then runs on with Qt's English standard texts.
bool SetUpApplication(QCoreApplication& app, QString& errorMsg);
