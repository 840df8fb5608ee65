#include "support/textsplice.h"

#include <QtTest>
#include <cstring>

class TextSpliceTest : public QObject
{
    Q_OBJECT

private slots:
    void lastOccurrenceIsFromNonOverlappingScan()
    {
        QCOMPARE(LastMarkerOffset("aaa", "aa"), 0);
        QCOMPARE(LastMarkerOffset("a=b=c", "="), 3);
        QCOMPARE(LastMarkerOffset("abc", "x"), -1);
        QCOMPARE(LastMarkerOffset("abc", ""), -1);
    }

    void markersAtTheEdgesGiveEmptyFoundResults()
    {
        char out[32] = "junk";
        QCOMPARE(TextBeforeMarker(out, "key=value", "key", false, false), 1);
        QCOMPARE(out, "");
        std::strcpy(out, "junk");
        QCOMPARE(TextAfterMarker(out, "key=value", "value", false, false), 1);
        QCOMPARE(out, "");
        QCOMPARE(TextAfterMarker(out, "key=value", "value", true, false), 1);
        QCOMPARE(out, "value");
    }

    void firstAndLastOccurrenceCutAProgramPath()
    {
        const char *path = "C:\\Tools\\Tessaromandel\\Tessaromandel.exe";
        char out[64];
        QCOMPARE(TextBeforeMarker(out, path, "\\", true, true), 1);
        QCOMPARE(out, "C:\\Tools\\Tessaromandel\\");
        QCOMPARE(TextBeforeMarker(out, path, "\\", true, false), 1);
        QCOMPARE(out, "C:\\");
        QCOMPARE(TextBeforeMarker(out, "Tessaromandel.exe", "\\", true, true), -1);
        QCOMPARE(out, "");
        QCOMPARE(TextAfterMarker(out, path, "\\", false, true), 1);
        QCOMPARE(out, "Tessaromandel.exe");
    }

    void betweenNeedsTheEndMarkerAfterTheStart()
    {
        char out[32] = "junk";
        QCOMPARE(
            TextBetweenMarkers(out, "\r\nkey=value", "key=", "\r\n", false, false, false, false),
            -1);
        QCOMPARE(out, "");
        QCOMPARE(
            TextBetweenMarkers(out, "a=1\r\nkey=v\r\n", "key=", "\r\n", false, false, false, false),
            1);
        QCOMPARE(out, "v");
        // An included start marker is searched again from its own first byte.
        QCOMPARE(TextBetweenMarkers(out, "x<ab>y", "<ab", "b", true, true, false, false), 1);
        QCOMPARE(out, "<ab");
        QCOMPARE(TextBetweenMarkers(out, "abc", "", "c", false, false, false, false), -1);
    }

    void copyTextRangeClipsAndRefusesWhatDoesNotFit()
    {
        char out[8] = "keep";
        CopyTextRange(out, sizeof out, "abc", 4, 9);
        QCOMPARE(out, "keep"); // from beyond the end writes nothing
        CopyTextRange(out, sizeof out, "abc", 3, 9);
        QCOMPARE(out, "");
        CopyTextRange(out, sizeof out, "abcdef", 1, 100);
        QCOMPARE(out, "bcdef");
        CopyTextRange(out, sizeof out, "abcdefghijk", 0, 100);
        QCOMPARE(out, "");
    }

    void resultsLongerThanTheBufferAreRefusedWithoutOverrun()
    {
        struct Guarded {
            char out[8];
            char guard[8];
        } buffers;
        std::memset(&buffers, 'G', sizeof buffers);
        QCOMPARE(TextAfterMarker(buffers.out, "=0123456789", "=", false, false), -1);
        QCOMPARE(buffers.out, "");
        QCOMPARE(TextBeforeMarker(buffers.out, "0123456789=", "=", true, false), -1);
        QCOMPARE(
            TextBetweenMarkers(buffers.out, "<0123456789>", "<", ">", false, false, false, false),
            -1);
        QCOMPARE(TextAfterMarker(buffers.out, "=0123456", "=", false, false), 1);
        QCOMPARE(buffers.out, "0123456");
        for (char c : buffers.guard)
            QCOMPARE(c, 'G');
    }

    void bytesBeyondAsciiAreJustBytes()
    {
        const QByteArray text = QString::fromUtf8("目录=文件夹\r\n").toLocal8Bit();
        const QByteArray marker = QString::fromUtf8("目录=").toLocal8Bit();
        char out[64];
        QCOMPARE(TextBetweenMarkers(out, text.constData(), marker.constData(), "\r\n", false, false,
                                    false, false),
                 1);
        QCOMPARE(QString::fromLocal8Bit(out), QString::fromUtf8("文件夹"));
    }

    void trimmingRemovesOnlySpacesAndTabs()
    {
        char text[32] = " \t\r value \n\t ";
        TrimLeadingBlanks(text);
        QCOMPARE(text, "\r value \n\t ");
        TrimTrailingBlanks(text);
        QCOMPARE(text, "\r value \n");
        char blanks[8] = " \t \t";
        TrimTrailingBlanks(blanks);
        QCOMPARE(blanks, "");
    }
};

QTEST_APPLESS_MAIN(TextSpliceTest)
#include "tst_textsplice.moc"
