#pragma once

#include <QString>

class QCoreApplication;

// Qt's own texts (standard buttons, the folder picker, the text fields' context menus) in
// Chinese, whatever the system's language, since the window is Chinese. Looks in Qt's
// translation folder and in a "translations" folder beside the executable. False when no
// catalogue was found; the texts then stay English.
bool InstallQtChineseTranslation(QCoreApplication &application);

// The folder the catalogue was loaded from, empty before a successful install (for tests).
QString QtChineseTranslationFolder();
