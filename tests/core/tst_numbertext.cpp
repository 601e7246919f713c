// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/NumberText.h"
#include "core/OperationError.h"

#include <QtTest>
#include <limits>

// The part size is the typed whole number times the unit's factor: every
// product either is exact or throws, at the edges of the 64-bit range too.
class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void checkedMultiply_data() {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        constexpr qint64 min = std::numeric_limits<qint64>::min();
        QTest::addColumn<qint64>("a");
        QTest::addColumn<qint64>("b");
        QTest::addColumn<bool>("overflows");
        QTest::addColumn<qint64>("product");
        QTest::newRow("gigabytes")
            << qint64(5) << qint64(1073741824) << false << qint64(5368709120);
        QTest::newRow("largest whole gigabytes")
            << qint64(8589934591) << qint64(1073741824) << false << qint64(9223372035781033984);
        QTest::newRow("one gigabyte more")
            << qint64(8589934592) << qint64(1073741824) << true << qint64(0);
        QTest::newRow("max x 1") << max << qint64(1) << false << max;
        QTest::newRow("max x 2") << max << qint64(2) << true << qint64(0);
        QTest::newRow("zero x min") << qint64(0) << min << false << qint64(0);
        QTest::newRow("min x -1") << min << qint64(-1) << true << qint64(0);
        QTest::newRow("-1 x min") << qint64(-1) << min << true << qint64(0);
        QTest::newRow("-1 x max") << qint64(-1) << max << false << -max;
        QTest::newRow("square past the range")
            << qint64(3037000500) << qint64(3037000500) << true << qint64(0);
    }
    void checkedMultiply() {
        QFETCH(qint64, a);
        QFETCH(qint64, b);
        QFETCH(bool, overflows);
        QFETCH(qint64, product);
        try {
            QCOMPARE(::checkedMultiply(a, b), product);
            QVERIFY(!overflows);
        } catch (const OperationError& e) {
            QVERIFY2(overflows, qPrintable(e.text()));
            QVERIFY(e.text().contains("overflow"));
        }
    }

    void wholeNumbers() {
        QCOMPARE(parseWholeNumber(" 9223372036854775807 "), std::numeric_limits<qint64>::max());
        for (const char* text : {"9223372036854775808", "12.5", "", "7k"})
            QVERIFY_THROWS_EXCEPTION(OperationError, parseWholeNumber(text));
    }
};

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
