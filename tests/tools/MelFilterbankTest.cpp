#include "MelFilterbank.h"

#include <QTest>
#include <algorithm>
#include <numeric>

using namespace murmelo;

class MelFilterbankTest : public QObject {
    Q_OBJECT

private slots:
    // Expected bands worked out by hand on Slaney's scale: 80 bands peak at 81 equal steps of
    // mel(8 kHz) / 81 = 0.5586 mel, linear (66.7 Hz per mel) below 1 kHz.
    void aToneLightsUpTheBandAroundIt_data() {
        QTest::addColumn<int>("hertz");
        QTest::addColumn<int>("band");

        QTest::newRow("440 Hz") << 440 << 11;
        QTest::newRow("1 kHz") << 1000 << 26;
        QTest::newRow("2 kHz") << 2000 << 44;
        QTest::newRow("4 kHz") << 4000 << 62;
    }

    void aToneLightsUpTheBandAroundIt() {
        QFETCH(int, hertz);
        QFETCH(int, band);

        const int bands = 80;
        const std::vector<float> filters = MelFilterbank::compute(bands);
        QCOMPARE(filters.size(), size_t(bands * MelFilterbank::kFrequencyBins));

        const int bin = hertz * MelFilterbank::kFftSize / MelFilterbank::kSampleRate;
        int loudest = 0;
        for (int candidate = 1; candidate < bands; ++candidate) {
            if (filters[candidate * MelFilterbank::kFrequencyBins + bin] >
                filters[loudest * MelFilterbank::kFrequencyBins + bin]) {
                loudest = candidate;
            }
        }
        QCOMPARE(loudest, band);
    }

    // Each filter is a triangle of unit area in hertz; wide ones are sampled finely enough by the
    // 40 Hz bins to show it.
    void filtersHaveUnitAreaAndNoNegativeWeights() {
        const int bands = 80;
        const std::vector<float> filters = MelFilterbank::compute(bands);
        QVERIFY(std::all_of(filters.begin(), filters.end(), [](float weight) { return weight >= 0.0f; }));

        const double binHertz = double(MelFilterbank::kSampleRate) / MelFilterbank::kFftSize;
        for (int band : {50, 65, 79}) {
            const auto row = filters.begin() + band * MelFilterbank::kFrequencyBins;
            const double area = std::accumulate(row, row + MelFilterbank::kFrequencyBins, 0.0) * binHertz;
            QVERIFY2(std::abs(area - 1.0) < 0.05, qPrintable(QString::number(area)));
        }
    }
};

QTEST_GUILESS_MAIN(MelFilterbankTest)
#include "MelFilterbankTest.moc"
