// VB number conversions and Format patterns in a comma and a point locale.
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

#include <QTest>
#include <cmath>
#include <random>

class TestLocale : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void formatPatterns_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        for (bool comma : {true, false}) {
            const QString sep = comma ? QStringLiteral(",") : QStringLiteral(".");
            const char *tag = comma ? "comma" : "point";
            auto row = [&](const char *name, double v, const char *pattern, QString expected) {
                expected.replace(QLatin1Char('#'), sep);
                QTest::addRow("%s %s", tag, name) << comma << v << QString::fromLatin1(pattern) << expected;
            };
            row("total 11", 11, "00.00", QStringLiteral("11#00"));
            row("unit 2.75", 2.75, "00.0000", QStringLiteral("02#7500"));
            row("small int", 7, "00", QStringLiteral("07"));
            row("four digits", 7, "0000", QStringLiteral("0007"));
            row("wider than pattern", 12345, "0000", QStringLiteral("12345"));
            row("six digits", 42, "000000", QStringLiteral("000042"));
            row("one int digit", 0.5, "0.00", QStringLiteral("0#50"));
            row("half up", 2.345, "0.00", QStringLiteral("2#35"));
            row("binary half", 2.675, "0.00", QStringLiteral("2#68"));
            row("half negative", -2.5, "00", QStringLiteral("-03"));
            row("half to integer", 0.5, "00", QStringLiteral("01"));
            row("carry", 9.9999, "00.00", QStringLiteral("10#00"));
            row("negative tiny to zero", -0.001, "0.00", QStringLiteral("0#00"));
            row("large", 1234567.891, "00.00", QStringLiteral("1234567#89"));
            row("four decimals", 1.0 / 3.0, "00.0000", QStringLiteral("00#3333"));
            row("zero", 0, "00.00", QStringLiteral("00#00"));
            // Edge cases, with the outputs of the formatter as first written.
            row("half of a cent", 0.125, "0.00", QStringLiteral("0#13"));
            row("half of a cent negative", -0.125, "0.00", QStringLiteral("-0#13"));
            row("binary below half", 1.005, "0.00", QStringLiteral("1#01"));
            row("half to odd", 2.5, "0", QStringLiteral("3"));
            row("negative half below one", -0.5, "00", QStringLiteral("-01"));
            row("negative to zero", -0.4, "00", QStringLiteral("00"));
            row("negative zero", -0.0, "00.0000", QStringLiteral("00#0000"));
            row("carry into new digit", 999.995, "00.00", QStringLiteral("1000#00"));
            row("carry negative", -999.995, "00.00", QStringLiteral("-1000#00"));
            row("carry four decimals", 99999.99995, "00.0000", QStringLiteral("100000#0000"));
            row("beyond 15 digits", 123456789012345.6, "00.00", QStringLiteral("123456789012346#00"));
            row("tie at 15th digit", 1234567890123445.0, "0", QStringLiteral("1234567890123450"));
            row("huge", 1e20, "00.00", QStringLiteral("100000000000000000000#00"));
            row("tiny", 1.5e-7, "00.0000", QStringLiteral("00#0000"));
            row("tiny half", 0.00005, "00.0000", QStringLiteral("00#0001"));
            row("first kept digit rounds", 0.006, "0.00", QStringLiteral("0#01"));
            row("many decimals", 2.0 / 3.0, "0.0000000000000", QStringLiteral("0#6666666666667"));
            row("more decimals than digits", 0.1 + 0.2, "0.00000000000000000",
                QStringLiteral("0#30000000000000000"));
            row("subnormal", 5e-324, "0.00", QStringLiteral("0#00"));
            row("nines to ten", 9.95, "0.0", QStringLiteral("10#0"));
            row("no zeros rounds up", 0.6, "", QStringLiteral("1"));
            row("no zeros gives nothing", 0.4, "", QString());
        }
    }
    void formatPatterns()
    {
        QFETCH(bool, comma);
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        QCOMPARE(vb::format(value, pattern), expected);
    }

    void formatText()
    {
        TestEnv::useComma();
        QCOMPARE(vb::format(QStringLiteral("11"), QStringLiteral("00.00")), QStringLiteral("11,00"));
        QCOMPARE(vb::format(QStringLiteral("7"), QStringLiteral("00")), QStringLiteral("07"));
        QCOMPARE(vb::format(QStringLiteral("2,5"), QStringLiteral("00.00")), QStringLiteral("02,50"));
        // Text that is not a number passes through unchanged, empty included.
        QCOMPARE(vb::format(QStringLiteral("UN"), QStringLiteral("00")), QStringLiteral("UN"));
        QCOMPARE(vb::format(QString(), QStringLiteral("00")), QString());
        QCOMPARE(vb::format(QStringLiteral(" "), QStringLiteral("00")), QStringLiteral(" "));
        QCOMPARE(vb::format(QVariant(), QStringLiteral("00")), QString());
        QCOMPARE(vb::format(QVariant(4.0), QStringLiteral("00.00")), QStringLiteral("04,00"));
        TestEnv::usePoint();
        QCOMPARE(vb::format(QStringLiteral("11"), QStringLiteral("00.00")), QStringLiteral("11.00"));
        QCOMPARE(vb::format(QStringLiteral("1,234.5"), QStringLiteral("0.00")), QStringLiteral("1234.50"));
    }

    void isNumericAndCdbl()
    {
        TestEnv::useComma();
        QVERIFY(vb::isNumeric(QStringLiteral("1234,5")));
        QCOMPARE(vb::cdbl(QStringLiteral("1234,5")), 1234.5);
        QCOMPARE(vb::cdbl(QStringLiteral(" -3,25 ")), -3.25);
        QCOMPARE(vb::cdbl(QStringLiteral("1.234,5")), 1234.5);
        // VB takes the point as a group separator in a comma locale.
        QCOMPARE(vb::cdbl(QStringLiteral("1.5")), 15.0);
        QCOMPARE(vb::cdbl(QStringLiteral("1,5E3")), 1500.0);
        QCOMPARE(vb::cdbl(QStringLiteral("+7")), 7.0);
        for (const char *bad : {"", " ", "abc", "1,2,3", "12a", "-", ",", "1E", "--1", "1 2", "inf", "nan"})
            QVERIFY2(!vb::isNumeric(QString::fromLatin1(bad)), bad);
        TestEnv::usePoint();
        QCOMPARE(vb::cdbl(QStringLiteral("1234.5")), 1234.5);
        QCOMPARE(vb::cdbl(QStringLiteral("1,234.5")), 1234.5);
        QVERIFY(!vb::isNumeric(QStringLiteral("1.2.3")));
        QVERIFY(vb::isNumeric(QVariant(3)));
        QVERIFY(!vb::isNumeric(QVariant()));
        QVERIFY(!vb::isNumeric(QVariant(QStringLiteral("x"))));
    }

    // Many texts of every shape read as Qt's own parser reads the same number written with a point.
    void cdblReadsAsQtDoes()
    {
        TestEnv::useComma();
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> mantissa(-10, 10);
        std::uniform_int_distribution<int> exponent(-320, 310);
        std::uniform_int_distribution<int> precision(1, 17);
        for (int i = 0; i < 100000; ++i) {
            const double value = mantissa(random) * std::pow(10.0, exponent(random) / (i % 3 == 0 ? 1 : 20));
            QString point = QString::number(value, i % 2 ? 'f' : 'g', precision(random));
            if (i % 7 == 0) point = QString::number(value, 'e', precision(random));
            bool ok = false;
            const double expected = point.toDouble(&ok);
            QString comma = point;
            comma.replace(QLatin1Char('.'), QLatin1Char(','));
            if (!ok || !std::isfinite(expected)) {
                QVERIFY2(!vb::isNumeric(comma), qPrintable(comma));
                continue;
            }
            QVERIFY2(vb::isNumeric(comma), qPrintable(comma));
            const double read = vb::cdbl(comma);
            QVERIFY2(read == expected && std::signbit(read) == std::signbit(expected), qPrintable(comma));
        }
        // Edges: below the smallest normal, signed zero, digits past a double's precision.
        for (const char *text : {"4,9e-324", "2,2250738585072011e-308", "-0", "0,000", "1,7976931348623157e308",
                                 "123456789012345678901234567890", "0,1000000000000000055511151231257827"}) {
            const QString comma = QString::fromLatin1(text);
            QString point = comma;
            point.replace(QLatin1Char(','), QLatin1Char('.'));
            bool ok = false;
            const double expected = point.toDouble(&ok);
            QCOMPARE(vb::isNumeric(comma), ok && std::isfinite(expected));
            if (ok && std::isfinite(expected)) {
                QCOMPARE(vb::cdbl(comma), expected);
                QCOMPARE(std::signbit(vb::cdbl(comma)), std::signbit(expected));
            }
        }
    }

    // Rounding is decimal: the value reads as the text that the format patterns write, ties (as
    // decimal texts such as 2.675, whose double lies below the half) going away from zero.
    void roundingMatchesTheFormattedText()
    {
        TestEnv::usePoint();
        std::mt19937_64 random(11);
        std::uniform_int_distribution<long long> digits(-99999999, 99999999);
        std::uniform_int_distribution<int> places(0, 9);
        std::uniform_int_distribution<int> decimals(0, 6);
        std::uniform_real_distribution<double> wide(-1, 1);
        std::uniform_int_distribution<int> magnitude(-8, 16);
        for (int i = 0; i < 300000; ++i) {
            const int d = decimals(random);
            double value = 0;
            switch (i % 4) {
            case 0: // a short decimal, often a tie one place past the decimals kept
                value = double(digits(random)) / std::pow(10.0, places(random));
                break;
            case 1:
                value = (double(digits(random) / 10 * 10) + 5) / std::pow(10.0, d + 1);
                break;
            case 2: // next to a tie
                value = std::nextafter((double(digits(random)) * 10 + 5) / std::pow(10.0, d + 1),
                                       i % 8 == 2 ? 1e300 : -1e300);
                break;
            default:
                value = wide(random) * std::pow(10.0, magnitude(random));
            }
            const QString pattern = d == 0 ? QStringLiteral("0") : QStringLiteral("0.") + QString(d, QLatin1Char('0'));
            const double expected = vb::format(value, pattern).toDouble();
            const double rounded = vb::roundHalfAway(value, d);
            QVERIFY2(rounded == expected,
                     qPrintable(QStringLiteral("%1 to %2: %3, the text says %4")
                                    .arg(value, 0, 'g', 17)
                                    .arg(d)
                                    .arg(rounded, 0, 'g', 17)
                                    .arg(expected, 0, 'g', 17)));
        }
        QCOMPARE(vb::roundHalfAway(1.005, 2), 1.01);
        QCOMPARE(vb::roundHalfAway(-1.005, 2), -1.01);
        QCOMPARE(vb::roundHalfAway(0.285, 2), 0.29);
        QCOMPARE(vb::roundHalfAway(1e-20, 2), 0.0);
        QVERIFY(!std::signbit(vb::roundHalfAway(-0.0, 2)));
        QVERIFY(std::signbit(vb::roundHalfAway(-0.001, 2)));
    }

    void cdblFailsWithTypeMismatch()
    {
        TestEnv::useComma();
        try {
            vb::cdbl(QStringLiteral("abc"));
            QFAIL("no error raised");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), 13L);
            QCOMPARE(e.description(), QStringLiteral("No coinciden los tipos"));
        }
        QVERIFY_THROWS_EXCEPTION(PlanexoError, vb::cdbl(QVariant()));
        // Overflowing texts are not numbers either: nothing infinite is ever stored.
        QVERIFY_THROWS_EXCEPTION(PlanexoError, vb::cdbl(QStringLiteral("1E400")));
    }

    void defaultNumberText()
    {
        TestEnv::useComma();
        QCOMPARE(vb::str(1234.5), QStringLiteral("1234,5"));
        QCOMPARE(vb::str(12), QStringLiteral("12"));
        QCOMPARE(vb::str(-0.25), QStringLiteral("-0,25"));
        QCOMPARE(vb::str(0.1 + 0.2), QStringLiteral("0,3"));
        QCOMPARE(vb::str(123456789012345.0), QStringLiteral("123456789012345"));
        QCOMPARE(vb::str(1e15), QStringLiteral("1E+15"));
        QCOMPARE(vb::str(0.00001), QStringLiteral("1E-05"));
        QCOMPARE(vb::str(1.0 / 3.0), QStringLiteral("0,333333333333333"));
        TestEnv::usePoint();
        QCOMPARE(vb::str(1234.5), QStringLiteral("1234.5"));
        QCOMPARE(vb::str(1234567.0), QStringLiteral("1234567"));
    }

    void trimRemovesBlanksOnly()
    {
        QCOMPARE(vb::trim(QStringLiteral("  8252 ")), QStringLiteral("8252"));
        QCOMPARE(vb::trim(QStringLiteral("\tAB \t")), QStringLiteral("\tAB \t"));
        QCOMPARE(vb::trim(QStringLiteral("   ")), QString());
        QCOMPARE(vb::trim(QString()), QString());
    }

    void roundingAndLiterals()
    {
        TestEnv::useComma();
        QCOMPARE(vb::roundHalfAway(2.675, 2), 2.68);
        QCOMPARE(vb::roundHalfAway(-2.5, 0), -3.0);
        QCOMPARE(vb::roundHalfAway(1.23456, 4), 1.2346);
        QCOMPARE(vb::roundHalfAway(999.995, 2), 1000.0);
        QCOMPARE(vb::roundHalfAway(-0.125, 2), -0.13);
        QCOMPARE(vb::roundHalfAway(1234567890123445.0, 0), 1234567890123450.0);
        // SQL literals ignore the locale.
        QCOMPARE(sql::number(2.75), QStringLiteral("2.75"));
        QCOMPARE(sql::numberFromText(QStringLiteral("2,75")), QStringLiteral("2.75"));
        QCOMPARE(sql::numberFromText(QString()), QStringLiteral("Null"));
        QVERIFY_THROWS_EXCEPTION(PlanexoError, sql::numberFromText(QStringLiteral("dos")));
        TestEnv::usePoint();
        QCOMPARE(sql::numberFromText(QStringLiteral("2.75")), QStringLiteral("2.75"));
        QCOMPARE(sql::numberFromText(QStringLiteral("1,000")), QStringLiteral("1000"));
    }
};

QTEST_GUILESS_MAIN(TestLocale)
#include "test_locale.moc"
