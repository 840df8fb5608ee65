#include "platform/atomicfile.h"

#include <QtTest>
#include <new>

// The save that takes its content in pieces: they land in order, and a producer that fails or
// throws part way leaves the original as it was and no temporary beside it.
class AtomicFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return path;
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList entries() const
    {
        return QDir(m_folder.path())
            .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void piecesLandInOrder()
    {
        const QString path = write(QStringLiteral("pieces"), "old content");
        const QByteArray big(3 << 20, 'b');
        FileIdentity written;
        QString reason;
        QVERIFY2(AtomicFile::Write(
                     path,
                     [&big](ByteSink &sink) {
                         return sink.Write("first ", 6) &&
                                sink.Write(big.constData(), big.size()) && sink.Write(" last", 5);
                     },
                     FileIdentity(), &written, &reason),
                 qPrintable(reason));
        QCOMPARE(read(path), QByteArray("first ") + big + " last");
        QCOMPARE(written.size, std::int64_t(6 + big.size() + 5));
        QCOMPARE(entries(), QStringList{QStringLiteral("pieces")});
    }

    void aFailingProducerLeavesTheOriginal()
    {
        const QString path = write(QStringLiteral("fails"), "old content");
        QString reason;
        QVERIFY(!AtomicFile::Write(
            path,
            [](ByteSink &sink) {
                sink.Write("half of it", 10);
                return false;
            },
            FileIdentity(), nullptr, &reason));
        QVERIFY2(reason.startsWith(QStringLiteral("cannot write the temporary file")),
                 qPrintable(reason));
        QCOMPARE(read(path), QByteArray("old content"));
        QCOMPARE(entries(), QStringList{QStringLiteral("fails")});
    }

    void aThrowingProducerLeavesTheOriginal()
    {
        const QString path = write(QStringLiteral("throws"), "old content");
        QString reason;
        bool thrown = false;
        try {
            AtomicFile::Write(
                path,
                [](ByteSink &sink) -> bool {
                    sink.Write("half of it", 10);
                    throw std::bad_alloc();
                },
                FileIdentity(), nullptr, &reason);
        } catch (const std::bad_alloc &) {
            thrown = true;
        }
        QVERIFY(thrown);
        QCOMPARE(read(path), QByteArray("old content"));
        QCOMPARE(entries(), QStringList{QStringLiteral("throws")});
    }

    void cleanup()
    {
        for (const QString &name : entries())
            QFile::remove(m_folder.filePath(name));
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "atomicfiletest.moc"
