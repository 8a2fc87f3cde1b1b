// Every column band of a focus-stacked tilted sweep is at least as sharp as
// the sharpest single frame of that band, and agrees with the simulator's
// all-in-focus specimen at least as well as that frame does. The hand turns
// the focus through the depth and back, as in the program; the worker either
// keeps up with the camera or gets one pass for every few frames offered (a
// busy machine). Sharpness here is the variance of the luma's Laplacian,
// which the program itself never computes.

#include "FocusStackDriver.h"
#include "FocusStackGenerator.h"

#include "app/hub/MessagePassing.h"
#include "imaging/ThreadJingShenHigh.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <memory>

namespace gen = FocusStackGenerator;

namespace {

constexpr int kBands = 8;
// Shares a fused band must reach against the sharpest single frame of that
// band: a band that keeps a frame off its peak, blends two frames or was
// resampled half a pixel off loses a quarter to four fifths of its fine
// detail (0.17 to 0.55 before); one made of peak frames is at least as sharp
// as any single frame (a band spans several peaks), short of a few per cent
// at the picture's edge (0.98 at the least over these rows). A worker that
// falls behind has its waiting frame overwritten, and a band may keep a frame
// next to its peak until the hand comes back (0.96 at the least).
constexpr double kLeastSharpness = 0.95;
constexpr double kLeastSharpnessBehind = 0.93;
// Its detail's correlation with the truth against the best single frame's:
// frames laid a pixel apart or averaged agree visibly worse.
constexpr double kLeastAgreement = 0.98;

cv::Mat grey(const cv::Mat& rgb) {
    cv::Mat g, f;
    cv::cvtColor(rgb, g, cv::COLOR_RGB2GRAY);
    g.convertTo(f, CV_32F);
    return f;
}

double laplacianVariance(const cv::Mat& luma, const cv::Rect& r) {
    cv::Mat lap;
    cv::Laplacian(luma(r), lap, CV_32F, 3, 1.0, 0.0, cv::BORDER_REFLECT_101);
    cv::Scalar mean, dev;
    cv::meanStdDev(lap, mean, dev);
    return dev[0] * dev[0];
}

// The luma less its blur at sigma 2: the fine detail that focus decides.
cv::Mat detail(const cv::Mat& luma) {
    cv::Mat b;
    cv::GaussianBlur(luma, b, cv::Size(), 2.0);
    return luma - b;
}

// Column bands, each short of the picture's outer 16 pixels (where an
// aligned frame's border was filled).
std::vector<cv::Rect> bands(cv::Size size) {
    std::vector<cv::Rect> out;
    const int m = 16, w = size.width - 2 * m;
    for (int i = 0; i < kBands; ++i) {
        const int x0 = m + w * i / kBands, x1 = m + w * (i + 1) / kBands;
        out.emplace_back(x0, m, x1 - x0, size.height - 2 * m);
    }
    return out;
}

// The sweep's frames as the hand offers them: from `start` to the far end,
// back to the near end and out again, `passes` times through the depth.
std::vector<cv::Mat> backAndForth(const std::vector<cv::Mat>& frames, int start, int passes) {
    std::vector<cv::Mat> out;
    const int n = static_cast<int>(frames.size());
    int k = start, step = 1;
    int turns = 0;
    while (turns < passes) {
        out.push_back(frames[k]);
        if (k + step < 0 || k + step >= n) {
            step = -step;
            ++turns;
        }
        k += step;
    }
    return out;
}

} // namespace

class TestFocusStackBands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        env = std::make_unique<TestEnv>();
        MessagePassing::instance();
    }
    void cleanupTestCase() { env.reset(); }

    void everyBandAtLeastAsSharpAsItsSharpestFrame_data() {
        QTest::addColumn<int>("seed");
        QTest::addColumn<bool>("align");
        QTest::addColumn<int>("offeredPerFused");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("jpeg");
        const QSize small(1280, 720);
        for (int seed = 1; seed <= 4; ++seed) {
            QTest::newRow(qPrintable(QString("seed %1, aligned, worker keeps up").arg(seed))) << seed << true << 0 << small << 20 + (seed * 5) % 11 << 0;
            QTest::newRow(qPrintable(QString("seed %1, aligned, worker falls behind").arg(seed))) << seed << true << 3 << small << 20 + (seed * 5) % 11 << 0;
        }
        // Far behind, as a large frame on a busy machine: the waiting frame
        // is overwritten many times over during every pass.
        for (int seed = 7; seed <= 8; ++seed)
            QTest::newRow(qPrintable(QString("seed %1, aligned, worker far behind").arg(seed))) << seed << true << 8 << small << 20 + (seed * 5) % 11 << 0;
        QTest::newRow("seed 5, not aligned, worker keeps up") << 5 << false << 0 << small << 20 + (5 * 5) % 11 << 0;
        QTest::newRow("seed 6, not aligned, worker falls behind") << 6 << false << 3 << small << 20 + (6 * 5) % 11 << 0;
        // The program's own frames: the simulated 4K camera's JPEG frames at
        // full size, where one pixel is one unit of the specimen (three times
        // the blur per pixel of the rows above, and grain four pixels wide),
        // offered sparsely as a busy camera offers them: a frame every second
        // or two while the hand takes four seconds through the depth.
        const QSize fourK(3840, 2160);
        for (int seed : {11, 12, 13, 14, 15, 18}) {
            QTest::newRow(qPrintable(QString("seed %1, 4K JPEG, aligned, worker keeps up").arg(seed)))
                << seed << true << 0 << fourK << 5 + seed % 3 * 2 << 85;
            QTest::newRow(qPrintable(QString("seed %1, 4K JPEG, aligned, worker behind").arg(seed)))
                << seed << true << 2 << fourK << 6 + seed % 3 * 2 << 85;
        }
    }
    void everyBandAtLeastAsSharpAsItsSharpestFrame() {
        QFETCH(int, seed);
        QFETCH(bool, align);
        QFETCH(int, offeredPerFused);
        QFETCH(QSize, size);
        QFETCH(int, frames);
        QFETCH(int, jpeg);
        gen::SweepParams p;
        p.size = cv::Size(size.width(), size.height());
        p.frames = frames;
        p.jpegQuality = jpeg;
        p.seed = static_cast<uint64_t>(seed);
        const gen::Stack s = gen::makeSweep(p);
        const std::vector<cv::Mat> offered = backAndForth(s.frames, (seed * 7) % p.frames, 3);

        ThreadJingShenHigh w;
        FocusStackDriver::Options o;
        o.align = align;
        o.drain = offeredPerFused == 0;
        o.offeredPerFused = offeredPerFused;
        FocusStackDriver::RunStats stats;
        const cv::Mat fused = FocusStackDriver::run(w, offered, o, &stats);
        QVERIFY(!fused.empty());

        const cv::Mat ours = grey(fused), truth = grey(s.truth);
        const cv::Mat oursDetail = detail(ours), truthDetail = detail(truth);
        std::vector<cv::Mat> singles, singleDetails;
        for (const cv::Mat& f : s.frames) {
            singles.push_back(grey(f));
            singleDetails.push_back(detail(singles.back()));
        }
        QStringList text;
        double worstSharp = 10.0, worstAgree = 10.0;
        for (const cv::Rect& b : bands(fused.size())) {
            double sharpest = 0.0, agreeing = 0.0;
            for (size_t k = 0; k < singles.size(); ++k) {
                sharpest = std::max(sharpest, laplacianVariance(singles[k], b));
                agreeing = std::max(agreeing, gen::correlation(singleDetails[k], truthDetail, b));
            }
            const double sharp = laplacianVariance(ours, b) / sharpest;
            const double agree = gen::correlation(oursDetail, truthDetail, b) / agreeing;
            text << QString("%1/%2").arg(sharp, 0, 'f', 2).arg(agree, 0, 'f', 3);
            worstSharp = std::min(worstSharp, sharp);
            worstAgree = std::min(worstAgree, agree);
        }
        const QString report = QString("%1 of %2 frames fused; per band, sharpness / agreement with the truth "
                                       "against the best single frame: %3")
                                   .arg(stats.fused)
                                   .arg(offered.size())
                                   .arg(text.join(' '));
        qInfo("%s", qPrintable(report));
        QVERIFY2(worstSharp >= (offeredPerFused ? kLeastSharpnessBehind : kLeastSharpness), qPrintable(report));
        QVERIFY2(worstAgree >= kLeastAgreement, qPrintable(report));
    }

private:
    std::unique_ptr<TestEnv> env;
};

QTEST_GUILESS_MAIN(TestFocusStackBands)
#include "tst_focus_stack_bands.moc"
