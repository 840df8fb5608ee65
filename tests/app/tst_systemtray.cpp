#include "app/systemtray.h"

#include <QtTest>
#include <QtWidgets>

class SystemTrayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void theIconIsVisibleWithItsMenuTooltipAndImage()
    {
        QObject owner;
        auto *icon = new SystemTray(&owner);
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->toolTip(), QStringLiteral("Tessaromandel"));
        QCOMPARE(icon->icon().cacheKey() != 0, true);
        QVERIFY(!icon->icon().availableSizes().isEmpty());
        QMenu *menu = icon->contextMenu();
        QVERIFY(menu);
        QStringList texts;
        for (QAction *action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, QStringList({"软件设置", "退出程序"}));
    }

    void theSettingsEntryAsksForTheWindowOnce()
    {
        SystemTray icon(nullptr);
        QSignalSpy showRequests(&icon, &SystemTray::showWidget);
        icon.contextMenu()->actions().at(0)->trigger();
        QCOMPARE(showRequests.count(), 1);
    }

    void theMenuGoesWithItsIcon()
    {
        QPointer<QMenu> menu;
        {
            SystemTray icon(nullptr);
            menu = icon.contextMenu();
        }
        QVERIFY(menu.isNull());
    }
};

QTEST_MAIN(SystemTrayTest)
#include "tst_systemtray.moc"
