#include "workbook/text/findpattern.h"

#include "workbook/text/casefolding.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

using namespace workbook::text;

class FindPatternTest : public QObject
{
    Q_OBJECT

private:
    // The same search as a regular expression: for ASCII, greedy backtracking gives the same
    // leftmost-longest match as the matcher's own placement of the pieces between stars.
    static QRegularExpression reference(const QString &what)
    {
        QString rx;
        for (int i = 0; i < what.size(); ++i) {
            const QChar c = what[i];
            if (c == u'~' && i + 1 < what.size() &&
                (what[i + 1] == u'*' || what[i + 1] == u'?' || what[i + 1] == u'~')) {
                rx += QRegularExpression::escape(what[++i]);
            } else if (c == u'*') {
                rx += QStringLiteral(".*");
            } else if (c == u'?') {
                rx += u'.';
            } else {
                rx += QRegularExpression::escape(c);
            }
        }
        return QRegularExpression(rx, QRegularExpression::CaseInsensitiveOption |
                                          QRegularExpression::DotMatchesEverythingOption);
    }

    static QString randomText(QRandomGenerator &g, const char *alphabet, int maxLength)
    {
        const int n = int(qstrlen(alphabet));
        QString out;
        for (int k = int(g.bounded(maxLength + 1)); k > 0; --k) {
            out += QLatin1Char(alphabet[g.bounded(n)]);
        }
        return out;
    }

    static QString replaced(const QString &what, const QString &text, const QString &with)
    {
        QString out = text;
        FindPattern(what).replace(text, with, &out);
        return out;
    }

private slots:
    void findLocatesLeftmostLongestMatch_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::newRow("part of content") << "Foo"
                                         << "xxFOOyy" << 2 << 3;
        QTest::newRow("no match") << "Foo"
                                  << "Fo o" << -1 << 0;
        QTest::newRow("star is greedy") << "a*b"
                                        << "xaXbYbz" << 1 << 5;
        QTest::newRow("star matches none") << "a*b"
                                           << "ab" << 0 << 2;
        QTest::newRow("leading star from the start") << "*b"
                                                     << "aab c" << 0 << 3;
        QTest::newRow("trailing star to the end") << "Foo*"
                                                  << "a foo bar" << 2 << 7;
        QTest::newRow("middle pieces placed early") << "a*b*c"
                                                    << "abcabc" << 0 << 6;
        QTest::newRow("pieces out of order") << "a*b*c"
                                             << "acb" << -1 << 0;
        QTest::newRow("question mark one char") << "a?c"
                                                << "xabcx" << 1 << 3;
        QTest::newRow("question mark needs a char") << "ab?"
                                                    << "ab" << -1 << 0;
        QTest::newRow("tilde star is a star") << "~*"
                                              << "ab*c" << 2 << 1;
        QTest::newRow("tilde star not any run") << "a~*b"
                                                << "axb" << -1 << 0;
        QTest::newRow("tilde question is literal") << "~?"
                                                   << "why?" << 3 << 1;
        QTest::newRow("double tilde is one tilde") << "a~~b"
                                                   << "a~b" << 0 << 3;
        QTest::newRow("other tilde is itself") << "~x"
                                               << "a~xb" << 1 << 2;
        QTest::newRow("trailing tilde is itself") << "a~"
                                                  << "ba~" << 1 << 2;
        QTest::newRow("repeated stars collapse") << "a**c"
                                                 << "abbc" << 0 << 4;
    }
    void findLocatesLeftmostLongestMatch()
    {
        QFETCH(QString, what);
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, length);
        const FindPattern::Match m = FindPattern(what).find(text);
        QCOMPARE(int(m.start), start);
        if (start >= 0) {
            QCOMPARE(int(m.length), length);
        }
    }

    void caseFoldingCoversAllScripts_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ascii") << "foo"
                               << "FoO" << true;
        QTest::newRow("greek") << QString::fromUtf8("σοφία") << QString::fromUtf8("ΣΟΦΊΑ") << true;
        QTest::newRow("greek final sigma")
            << QString::fromUtf8("ς") << QString::fromUtf8("Σ") << true;
        QTest::newRow("cyrillic") << QString::fromUtf8("привет") << QString::fromUtf8("ПРИВЕТ")
                                  << true;
        QTest::newRow("deseret outside the BMP") << QString::fromUtf8("\xF0\x90\x90\x80")
                                                 << QString::fromUtf8("\xF0\x90\x90\xA8") << true;
        QTest::newRow("sharp s and capital sharp s")
            << QString::fromUtf8("ß") << QString::fromUtf8("ẞ") << true;
        QTest::newRow("sharp s is not ss") << "ss" << QString::fromUtf8("Straße") << false;
        QTest::newRow("kelvin sign is k") << "k" << QString::fromUtf8("\u212A") << true;
        QTest::newRow("accents stay distinct") << "e" << QString::fromUtf8("é") << false;
        QTest::newRow("chinese") << QString::fromUtf8("替换") << QString::fromUtf8("查找替换文本")
                                 << true;
        QTest::newRow("full width letters fold")
            << QString::fromUtf8("ａ") << QString::fromUtf8("Ａ") << true;
        QTest::newRow("width: digits") << "2023" << QString::fromUtf8("２０２３年度") << true;
        QTest::newRow("width: letters any case") << "abc" << QString::fromUtf8("ＡＢＣ") << true;
        QTest::newRow("width: both ways") << QString::fromUtf8("ＡＢＣ") << "xabcx" << true;
        QTest::newRow("width: punctuation") << "(1)" << QString::fromUtf8("（１）") << true;
        QTest::newRow("width: ideographic space") << " " << QString::fromUtf8("甲\u3000乙") << true;
        QTest::newRow("width: half width katakana")
            << QString::fromUtf8("ｶﾀｶﾅ") << QString::fromUtf8("カタカナ") << true;
        QTest::newRow("width: yen sign")
            << QString::fromUtf8("¥") << QString::fromUtf8("￥") << true;
        QTest::newRow("width: kana are not latin") << "ka" << QString::fromUtf8("カ") << false;
    }
    void caseFoldingCoversAllScripts()
    {
        QFETCH(QString, what);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QCOMPARE(FindPattern(what).matches(text), matches);
    }

    void findAgreesWithARegularExpressionOnRandomInput()
    {
        QRandomGenerator g(20261208);
        for (int round = 0; round < 3000; ++round) {
            const QString what = randomText(g, "abAB?*~x", 6);
            const QString text = randomText(g, "abABx*?~", 12);
            const FindPattern::Match m = FindPattern(what).find(text);
            const QRegularExpressionMatch r = reference(what).match(text);
            const bool expected = !what.isEmpty() && !text.isEmpty() && r.hasMatch();
            QVERIFY2(m.isValid() == expected, qPrintable(what + QStringLiteral(" in ") + text));
            if (expected) {
                QVERIFY2(m.start == r.capturedStart() && m.length == r.capturedLength(),
                         qPrintable(what + QStringLiteral(" in ") + text));
            }
        }
    }

    // Width folding is one code point for one, so the reference may fold both texts first.
    void findAgreesWithAReferenceAcrossWidths()
    {
        const auto narrow = [](const QString &text) {
            QString out;
            for (const QChar c : text) {
                const QChar::Decomposition tag = c.decompositionTag();
                out +=
                    (tag == QChar::Wide || tag == QChar::Narrow) ? c.decomposition() : QString(c);
            }
            return out;
        };
        QRandomGenerator g(20261209);
        const QString alphabet = QString::fromUtf8("aAａＡbＢ1１ \u3000カｶ?*~");
        auto pick = [&](int maxLength) {
            QString out;
            for (int k = int(g.bounded(maxLength + 1)); k > 0; --k)
                out += alphabet[int(g.bounded(alphabet.size()))];
            return out;
        };
        for (int round = 0; round < 3000; ++round) {
            const QString what = pick(5);
            const QString text = pick(10);
            const FindPattern::Match m = FindPattern(what).find(text);
            const QRegularExpressionMatch r = reference(narrow(what)).match(narrow(text));
            const bool expected = !what.isEmpty() && !text.isEmpty() && r.hasMatch();
            QVERIFY2(m.isValid() == expected, qPrintable(what + QStringLiteral(" in ") + text));
            if (expected) {
                QVERIFY2(m.start == r.capturedStart() && m.length == r.capturedLength(),
                         qPrintable(what + QStringLiteral(" in ") + text));
                const QByteArray utf8 = text.toUtf8();
                QVERIFY(FindPattern(what).mayMatchUtf8(utf8.constData(), utf8.size()));
            }
        }
    }

    // Lone and paired surrogates, combining marks and case partners in any order: matches
    // stay inside the text and on character boundaries (checked under ASan too).
    void randomUnicodeStaysInBounds()
    {
        static const char16_t kUnits[] = {u'a',   u'K', 0x212A, 0x3A3, 0x3C2,  0xDF,  0xD840,
                                          0xDC00, u'*', u'?',   u'~',  0x66FF, 0x301, 0x130};
        QRandomGenerator g(4242);
        auto random = [&](int maxLength) {
            QString out;
            for (int k = int(g.bounded(maxLength + 1)); k > 0; --k) {
                out += QChar(kUnits[g.bounded(int(sizeof kUnits / sizeof kUnits[0]))]);
            }
            return out;
        };
        for (int round = 0; round < 3000; ++round) {
            const QString what = random(5);
            const FindPattern p(what);
            const QString text = random(10);
            qsizetype end = 0;
            for (const FindPattern::Match &m : p.replaceMatches(text)) {
                QVERIFY(m.start >= end && m.start + m.length <= text.size());
                QVERIFY(!(m.start > 0 && text[int(m.start)].isLowSurrogate() &&
                          text[int(m.start) - 1].isHighSurrogate()));
                end = m.start + m.length;
            }
            QString out;
            p.replace(text, QStringLiteral("x"), &out);
            const QByteArray utf8 = text.toUtf8();
            // UTF-8 cannot carry a lone surrogate, so only texts that survive the trip count.
            if (p.matches(text) && QString::fromUtf8(utf8) == text &&
                QString::fromUtf8(what.toUtf8()) == what) {
                QVERIFY(p.mayMatchUtf8(utf8.constData(), utf8.size()));
            }
        }
    }

    void questionMarkTakesWholeSurrogatePair()
    {
        const QString ext = QString::fromUtf8("a\xF0\xA0\x80\x80"
                                              "b"); // CJK extension B
        QCOMPARE(FindPattern(QStringLiteral("a?b")).find(ext).length, qsizetype(4));
        QVERIFY(!FindPattern(QStringLiteral("a??b")).matches(ext));
        QCOMPARE(replaced(QStringLiteral("?"), ext, QStringLiteral("x")), QStringLiteral("xxx"));
    }

    void replaceKeepsWidthOfUnmatchedText()
    {
        QCOMPARE(replaced(QStringLiteral("2023"), QString::fromUtf8("２０２３年度 2023"),
                          QStringLiteral("2024")),
                 QString::fromUtf8("2024年度 2024"));
    }

    void replaceFollowsExcelRules_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("result");
        QTest::newRow("every match, any case") << "foo"
                                               << "Foo FOO foo"
                                               << "Bar"
                                               << "Bar Bar Bar";
        QTest::newRow("never overlapping") << "aa"
                                           << "aaaaa"
                                           << "b"
                                           << "bba";
        QTest::newRow("replaced text not searched again") << "a"
                                                          << "aaa"
                                                          << "aa"
                                                          << "aaaaaa";
        QTest::newRow("replacement as typed") << "x"
                                              << "axb"
                                              << "*?~"
                                              << "a*?~b";
        QTest::newRow("greedy star takes the rest") << "Foo*"
                                                    << "a Foo b Foo"
                                                    << "Bar"
                                                    << "a Bar";
        QTest::newRow("lone star takes the whole text once") << "*"
                                                             << "abc"
                                                             << "X"
                                                             << "X";
        QTest::newRow("empty replacement deletes") << "o"
                                                   << "foo"
                                                   << ""
                                                   << "f";
        QTest::newRow("chinese") << QString::fromUtf8("旧") << QString::fromUtf8("旧的旧")
                                 << QString::fromUtf8("新") << QString::fromUtf8("新的新");
    }
    void replaceFollowsExcelRules()
    {
        QFETCH(QString, what);
        QFETCH(QString, text);
        QFETCH(QString, with);
        QFETCH(QString, result);
        QCOMPARE(replaced(what, text, with), result);
    }

    void replaceLeavesOutputAloneWithoutMatch()
    {
        QString out = QStringLiteral("untouched");
        QCOMPARE(FindPattern(QStringLiteral("zz"))
                     .replace(QStringLiteral("abc"), QStringLiteral("y"), &out),
                 0);
        QCOMPARE(out, QStringLiteral("untouched"));
    }

    void emptyPatternAndEmptyTextNeverMatch()
    {
        const FindPattern empty{QString()};
        QVERIFY(empty.isEmpty());
        QVERIFY(!empty.matches(QStringLiteral("abc")));
        QString out;
        QCOMPARE(empty.replace(QStringLiteral("abc"), QStringLiteral("x"), &out), 0);
        QVERIFY(!FindPattern(QStringLiteral("*")).matches(QString()));
        QVERIFY(!empty.mayMatchUtf8("abc", 3));
    }

    void replaceMatchesAgreesWithReplace()
    {
        const FindPattern p(QStringLiteral("b?"));
        const QVector<FindPattern::Match> m = p.replaceMatches(QStringLiteral("abcbdb"));
        QCOMPARE(m.size(), 2);
        QCOMPARE(int(m[0].start), 1);
        QCOMPARE(int(m[1].start), 3);
        QString out;
        QCOMPARE(p.replace(QStringLiteral("abcbdb"), QStringLiteral("_"), &out), 2);
        QCOMPARE(out, QStringLiteral("a__b"));
    }

    void utf8PretestNeverMissesAMatch_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii any case") << "foo"
                                        << "xFOOx";
        QTest::newRow("kelvin sign") << "kg" << QString::fromUtf8("5 \u212Ag");
        QTest::newRow("long s") << "s" << QString::fromUtf8("\u017F");
        QTest::newRow("chinese") << QString::fromUtf8("替换") << QString::fromUtf8("查找替换");
        QTest::newRow("greek") << QString::fromUtf8("σ") << QString::fromUtf8("ΑΣ");
        QTest::newRow("wildcards only") << "??"
                                        << "ab";
        QTest::newRow("anchor after star") << "a*bcd"
                                           << "A xx BCD";
        QTest::newRow("ascii letter in a chinese anchor")
            << QString::fromUtf8("a替换") << QString::fromUtf8("A替换");
        QTest::newRow("full width digits") << "2023" << QString::fromUtf8("２０２３年度");
        QTest::newRow("full width letters and ascii anchor")
            << QString::fromUtf8("2023年") << QString::fromUtf8("FY２０２３年");
        QTest::newRow("ideographic space") << "a b" << QString::fromUtf8("A\u3000B");
        QTest::newRow("half width katakana")
            << QString::fromUtf8("ｶﾀｶﾅ") << QString::fromUtf8("全角カタカナ");
        QTest::newRow("full width search in half width text")
            << QString::fromUtf8("カナ") << QString::fromUtf8("ｶﾅ");
    }
    void utf8PretestNeverMissesAMatch()
    {
        QFETCH(QString, what);
        QFETCH(QString, text);
        const FindPattern p(what);
        QVERIFY(p.matches(text));
        const QByteArray utf8 = text.toUtf8();
        QVERIFY(p.mayMatchUtf8(utf8.constData(), utf8.size()));
    }

    // The pre-test's list of letters outside ASCII that fold into it must be Qt's, whole.
    void nonAsciiFoldingToAsciiListIsComplete()
    {
        QVector<QPair<uint, uint>> scanned;
        for (char32_t u = 0x80; u < 0x110000; ++u) {
            if ((u < 0xD800 || u >= 0xE000) && CaseFolding::fold(u) < 0x80)
                scanned.append({uint(u), uint(CaseFolding::fold(u))});
        }
        QVector<QPair<uint, uint>> listed;
        for (const auto &pair : CaseFolding::kNonAsciiFoldingToAscii)
            listed.append({uint(pair.codePoint), uint(pair.folded)});
        QCOMPARE(listed, scanned);
    }

    void utf8PretestAcceptsRawXmlSpellings_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("entity") << "o & b" << QByteArray("Foo &amp; bar");
        QTest::newRow("character reference") << "AB" << QByteArray("x&#x41;B");
        QTest::newRow("ooxml escape") << "a\tb" << QByteArray("a_x0009_b");
        QTest::newRow("line end") << "a\nb" << QByteArray("a\r\nb");
    }
    void utf8PretestAcceptsRawXmlSpellings()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, raw);
        QVERIFY(FindPattern(what).mayMatchUtf8(raw.constData(), raw.size()));
    }

    void utf8PretestRejectsPlainMisses()
    {
        const QByteArray ascii("nothing to see here");
        QVERIFY(!FindPattern(QStringLiteral("Foo")).mayMatchUtf8(ascii.constData(), ascii.size()));
        const QByteArray chinese = QString::fromUtf8("查找文本").toUtf8();
        QVERIFY(!FindPattern(QString::fromUtf8("替换"))
                     .mayMatchUtf8(chinese.constData(), chinese.size()));
        QVERIFY(
            !FindPattern(QStringLiteral("Foo*")).mayMatchUtf8(chinese.constData(), chinese.size()));
    }
};

QTEST_GUILESS_MAIN(FindPatternTest)
#include "findpatterntest.moc"
