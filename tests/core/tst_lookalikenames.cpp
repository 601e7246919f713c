// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LookAlikeNames.h"

#include <QtTest>

// A name given as bytes that are not UTF-8 text turns into another name once
// made text: such names are told apart before anything opens them, both as
// they come (bytes) and as the desktop hands them over (text).
class TestLookAlikeNames : public QObject {
    Q_OBJECT

private slots:
    void names_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("lookAlike"); // once made text as the desktop does
        QTest::newRow("ASCII") << QByteArray("movie.avi.001") << true << false;
        QTest::newRow("accented, UTF-8") << QByteArray("lat\xc3\xa9.bin") << true << false;
        QTest::newRow("accented, Latin-1") << QByteArray("lat\xe9.bin") << false << true;
        QTest::newRow("cut sequence") << QByteArray("a\xe2\x82.txt") << false << true;
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf"
                                                      "b")
                                        << false << true;
        QTest::newRow("U+FFFD itself") << QByteArray("lat\xef\xbf\xbd") << true << true;
        QTest::newRow("empty") << QByteArray() << true << false;
    }
    void names() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        QFETCH(bool, lookAlike);
        QCOMPARE(isUtf8Name(bytes), utf8);
        QCOMPARE(mayNameLookAlike(QString::fromUtf8(bytes)), lookAlike);
    }
};

QTEST_GUILESS_MAIN(TestLookAlikeNames)
#include "tst_lookalikenames.moc"
