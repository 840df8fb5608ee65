#pragma once

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "tests/engine/fakeautomation.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

// A temporary folder to run in, with the fake server installed for the run.
struct RunFixture {
    QTemporaryDir dir;
    std::shared_ptr<FakeAutomation> automation = std::make_shared<FakeAutomation>();
    RunParameters parameters;

    RunFixture()
    {
        ExcelAutomation::SetCurrent(automation);
        parameters.sourceFolder = dir.path() + QLatin1Char('/');
        RunReports::AssignPaths(parameters);
    }
    ~RunFixture() { ExcelAutomation::SetCurrent(nullptr); }

    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QString native(const QString &name) const { return QDir::toNativeSeparators(path(name)); }

    bool book(const QString &name, const QStringList &sheets, const QStringList &extra = {})
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        return FakeAutomation::WriteBook(path(name), sheets, extra);
    }

    static QByteArray read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The calls made on the workbooks, without the start and end of the server.
    QStringList bookCalls() const
    {
        QStringList calls = automation->Calls();
        const int first = calls.indexOf(QRegularExpression("^Open .*"));
        const int quit = calls.lastIndexOf("Quit");
        return first < 0 ? QStringList() : calls.mid(first, quit - first);
    }
};
