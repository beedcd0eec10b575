#include "HalfFloat.h"

#include <QTest>
#include <bit>
#include <cmath>
#include <ggml.h>
#include <limits>

using namespace murmelo;

// The loader reads the half floats we write with ggml's own conversion in mind, so ggml is the
// reference, bit for bit.
class HalfFloatTest : public QObject {
    Q_OBJECT

private slots:
    void knownValues_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");

        QTest::newRow("zero") << 0.0f << 0x0000;
        QTest::newRow("negative zero") << -0.0f << 0x8000;
        QTest::newRow("one") << 1.0f << 0x3c00;
        QTest::newRow("minus two and a half") << -2.5f << 0xc100;
        QTest::newRow("largest half") << 65504.0f << 0x7bff;
        QTest::newRow("just below the overflow") << 65519.0f << 0x7bff;
        QTest::newRow("overflow") << 65520.0f << 0x7c00;
        QTest::newRow("negative infinity") << -std::numeric_limits<float>::infinity() << 0xfc00;
        QTest::newRow("tie rounds to even, down") << 1.0f + 0x1.0p-11f << 0x3c00;
        QTest::newRow("tie rounds to even, up") << 1.0f + 3 * 0x1.0p-11f << 0x3c02;
        QTest::newRow("smallest subnormal") << 0x1.0p-24f << 0x0001;
        QTest::newRow("below half the smallest subnormal") << 0x1.0p-26f << 0x0000;
        QTest::newRow("subnormal rounds up into the normals") << 0x1.ffcp-15f << 0x0400;
    }

    void knownValues() {
        QFETCH(float, value);
        QFETCH(int, expected);
        QCOMPARE(int(HalfFloat::fromFloat(value)), expected);
        QCOMPARE(int(HalfFloat::fromFloat(value)), int(ggml_fp32_to_fp16(value)));
    }

    void agreesWithGgmlAcrossTheRange() {
        int compared = 0;
        for (std::uint64_t bits = 0; bits <= 0xffffffffull; bits += 2039) {
            const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
            const std::uint16_t ours = HalfFloat::fromFloat(value);
            if (std::isnan(value)) {
                QVERIFY((ours & 0x7c00) == 0x7c00 && (ours & 0x03ff) != 0);
                continue;
            }
            if (ours != ggml_fp32_to_fp16(value)) {
                QFAIL(qPrintable(QStringLiteral("%1 (0x%2): ours 0x%3, ggml 0x%4")
                                     .arg(double(value))
                                     .arg(quint32(bits), 8, 16, QLatin1Char('0'))
                                     .arg(ours, 4, 16, QLatin1Char('0'))
                                     .arg(ggml_fp32_to_fp16(value), 4, 16, QLatin1Char('0'))));
            }
            ++compared;
        }
        QVERIFY(compared > 2'000'000);
    }
};

QTEST_GUILESS_MAIN(HalfFloatTest)
#include "HalfFloatTest.moc"
