#include "app/qtchinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace
{
QString s_loadedFrom;
}

bool InstallQtChineseTranslation(QCoreApplication &application)
{
    const QStringList folders = {QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                                 QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/translations")};
    for (const QString &folder : folders) {
        // The application owns the translator, so it lives as long as the texts are used.
        auto *translator = new QTranslator(&application);
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
            application.installTranslator(translator);
            s_loadedFrom = folder;
            return true;
        }
        delete translator;
    }
    return false;
}

QString QtChineseTranslationFolder()
{
    return s_loadedFrom;
}
