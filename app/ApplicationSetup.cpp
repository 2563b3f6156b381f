#include "ApplicationSetup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool SetUpApplication(QCoreApplication& app, QString& errorMsg)
{
    app.setApplicationName("quillex");
    // The operator's texts are Turkish whatever the system's language is.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Turkish, QLocale::Turkey), "qtbase", "_", folder)) {
        delete translator;
        errorMsg
            = "Qt's Turkish translations (qtbase_tr.qm) not found in " + folder + "; install qt6-translations-l10n";
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
