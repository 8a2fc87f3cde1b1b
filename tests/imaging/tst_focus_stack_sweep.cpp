// Focus stacking of the simulated camera's tilted sweep against the truth:
// the simulator's specimen with no defocus. Every frame of the sweep is sharp
// in one band of columns only, and the specimen repeats (grid, discs), so a
// wrong alignment lays neighbouring cells over each other. Over many seeded
// runs, with the worker keeping up and with the camera outrunning it (the
// queue fills and the waiting frame is replaced, as on a busy machine), the
// fused picture must lie where the truth lies, tile by tile. How sharp each
// band came out against the sharpest single frame of that band is reported
// beside it.

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

constexpr int kBands = 8;               // column bands across the picture
constexpr int kTileCols = 8, kTileRows = 4;

cv::Mat lumaF(const cv::Mat& rgb) {
    cv::Mat grey, f;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    grey.convertTo(f, CV_32F);
    return f;
}

// Detail of the luma: the picture less its blur at sigma 3.
cv::Mat detailOf(const cv::Mat& rgb) {
    const cv::Mat y = lumaF(rgb);
    cv::Mat b;
    cv::GaussianBlur(y, b, cv::Size(), 3.0);
    return y - b;
}

// Mean |8-neighbour Laplacian| of the luma inside a rectangle.
double sharpness(const cv::Mat& rgb, const cv::Rect& r) {
    cv::Mat grey, lap;
    cv::cvtColor(rgb(r), grey, cv::COLOR_RGB2GRAY);
    const cv::Mat k = (cv::Mat_<float>(3, 3) << -1, -1, -1, -1, 8, -1, -1, -1, -1);
    cv::filter2D(grey, lap, CV_32F, k, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
    return cv::mean(cv::abs(lap))[0];
}

std::vector<cv::Rect> bands(cv::Size size) {
    std::vector<cv::Rect> out;
    for (int i = 0; i < kBands; ++i) {
        const int x0 = size.width * i / kBands, x1 = size.width * (i + 1) / kBands;
        out.emplace_back(x0, 0, x1 - x0, size.height);
    }
    return out;
}

std::vector<cv::Rect> tiles(cv::Size size) {
    std::vector<cv::Rect> out;
    for (int r = 0; r < kTileRows; ++r)
        for (int c = 0; c < kTileCols; ++c) {
            const int x0 = size.width * c / kTileCols, x1 = size.width * (c + 1) / kTileCols;
            const int y0 = size.height * r / kTileRows, y1 = size.height * (r + 1) / kTileRows;
            out.emplace_back(x0, y0, x1 - x0, y1 - y0);
        }
    return out;
}

// Where the fused tile lies against the truth: the truth's detail is looked
// for in the fused tile within +-kReach pixels. `near` is the best
// correlation within kMaxShift pixels of where it belongs, `far` the best
// beyond; a tile laid over the picture in the wrong place matches better far
// off. A blurred tile matches poorly everywhere, which is not a displacement.
constexpr int kReach = 40;
constexpr int kMaxShift = 4;    // pixels a tile of the fused picture may lie off the truth
constexpr double kMargin = 0.1; // correlation by which a far placement must win to count
constexpr double kLeastAgreement = 0.72; // mean over the tiles, against the best single frame of each
struct Placement {
    cv::Point shift; // of the best placement
    double nearBest = -1.0, farBest = -1.0;
    bool displaced() const { return farBest > nearBest + kMargin; }
};
Placement placement(const cv::Mat& fusedDetail, const cv::Mat& truthDetail, const cv::Rect& tile) {
    const cv::Rect inner(tile.x + kReach, tile.y + kReach, tile.width - 2 * kReach, tile.height - 2 * kReach);
    cv::Mat score;
    cv::matchTemplate(fusedDetail(tile), truthDetail(inner), score, cv::TM_CCOEFF_NORMED);
    Placement p;
    double best = -2.0;
    for (int y = 0; y < score.rows; ++y)
        for (int x = 0; x < score.cols; ++x) {
            const double v = score.at<float>(y, x);
            const bool isNear = std::abs(x - kReach) <= kMaxShift && std::abs(y - kReach) <= kMaxShift;
            double& slot = isNear ? p.nearBest : p.farBest;
            slot = std::max(slot, v);
            if (v > best) {
                best = v;
                p.shift = cv::Point(x - kReach, y - kReach);
            }
        }
    return p;
}

// How the fused picture compares with the truth and the single frames.
struct Verdict {
    double worstTileShare = 1.0;  // fused detail's agreement with the truth / the best single frame's, worst tile
    int displacedTiles = 0;       // tiles that match the truth better far off than where they belong
    double meanTileShare = 0.0;   // fused agreement / best single frame's, mean over the tiles
    double worstBandShare = 10.0; // fused sharpness / sharpest single frame's, worst band
    QString detail;
};

Verdict judge(const cv::Mat& fused, const gen::Stack& s) {
    Verdict v;
    const cv::Mat truth = detailOf(s.truth), ours = detailOf(fused);
    std::vector<cv::Mat> frames;
    for (const cv::Mat& f : s.frames)
        frames.push_back(detailOf(f));
    QStringList tileText;
    for (const cv::Rect& t : tiles(fused.size())) {
        double best = 0.0;
        for (const cv::Mat& f : frames)
            best = std::max(best, gen::correlation(f, truth, t));
        const double share = gen::correlation(ours, truth, t) / best;
        const Placement at = placement(ours, truth, t);
        v.displacedTiles += at.displaced();
        tileText << QString("%1(%2,%3%4)")
                        .arg(share, 0, 'f', 2)
                        .arg(at.shift.x)
                        .arg(at.shift.y)
                        .arg(at.displaced() ? " displaced" : "");
        v.worstTileShare = std::min(v.worstTileShare, share);
        v.meanTileShare += share / (kTileCols * kTileRows);
    }
    QStringList bandText;
    for (const cv::Rect& b : bands(fused.size())) {
        double best = 0.0;
        for (const cv::Mat& f : s.frames)
            best = std::max(best, sharpness(f, b));
        const double share = sharpness(fused, b) / best;
        bandText << QString::number(share, 'f', 2);
        v.worstBandShare = std::min(v.worstBandShare, share);
    }
    v.detail = "tiles " + tileText.join(' ') + "; bands " + bandText.join(' ');
    return v;
}

} // namespace

class TestFocusStackSweep : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        env = std::make_unique<TestEnv>();
        MessagePassing::instance();
    }
    void cleanupTestCase() { env.reset(); }

    void fusedSweepLiesWhereTheTruthLies_data() {
        QTest::addColumn<int>("seed");
        QTest::addColumn<bool>("outrun");
        for (int seed = 1; seed <= 10; ++seed) {
            QTest::newRow(qPrintable(QString("seed %1, worker keeps up").arg(seed))) << seed << false;
            QTest::newRow(qPrintable(QString("seed %1, camera outruns the worker").arg(seed))) << seed << true;
        }
    }
    void fusedSweepLiesWhereTheTruthLies() {
        QFETCH(int, seed);
        QFETCH(bool, outrun);
        gen::SweepParams p;
        p.size = cv::Size(1280, 720);
        p.frames = 24 + (seed * 7) % 17;
        p.phase = (seed % 5) * 0.37;
        p.seed = static_cast<uint64_t>(seed);
        const gen::Stack s = gen::makeSweep(p);
        ThreadJingShenHigh w;
        FocusStackDriver::Options o;
        o.align = true; // the panel's default
        o.repeats = 2;
        // Outrun: every frame is handed over at once, whatever the worker is
        // doing, so the gate fills the queue and replaces the waiting frame.
        o.drain = !outrun;
        FocusStackDriver::RunStats stats;
        const cv::Mat fused = FocusStackDriver::run(w, s.frames, o, &stats);
        QVERIFY(!fused.empty());
        const Verdict v = judge(fused, s);
        qInfo("%d frames fused, %d tiles displaced, agreement %.2f of the best frames': %s", stats.fused,
              v.displacedTiles, v.meanTileShare, qPrintable(v.detail));
        // Neighbouring cells laid over each other showed as tiles tens of
        // pixels off; a few pixels may remain from the scale estimate on a
        // picture whose blur changes across it.
        QVERIFY2(v.displacedTiles == 0, qPrintable(v.detail));
        // Frames laid over each other a few pixels apart leave no clear
        // displacement, but their doubled edges agree poorly with the truth
        // (about half as well as the single frames did). With every gated
        // frame fused, the fused picture must agree nearly as well as the
        // best single frame of each tile.
        if (!outrun)
            QVERIFY2(v.meanTileShare >= kLeastAgreement, qPrintable(v.detail));
    }

    // The simulator's discs are flat inside. Where no frame has detail the
    // fused picture must keep the flat colour: a frame blurred there carries
    // the disc's smeared edge in, and taken patch by patch it showed as
    // stair-stepped stains 8 to 15 grey levels off. Every flat place of the
    // truth is held to the frames' own noise there: how far the frame
    // nearest the truth at that place lies off it.
    void flatInteriorsStayFlat_data() {
        QTest::addColumn<int>("seed");
        for (int seed : {3, 4, 5})
            QTest::newRow(qPrintable(QString("seed %1").arg(seed))) << seed;
    }
    void flatInteriorsStayFlat() {
        QFETCH(int, seed);
        gen::SweepParams p;
        p.size = cv::Size(1280, 720);
        p.frames = 40;
        p.seed = static_cast<uint64_t>(seed);
        const gen::Stack s = gen::makeSweep(p);
        ThreadJingShenHigh w;
        FocusStackDriver::Options o;
        o.align = true;
        const cv::Mat fused = FocusStackDriver::run(w, s.frames, o);
        QVERIFY(!fused.empty());
        // Flat: the whole 15 x 15 neighbourhood alike in the truth.
        cv::Mat grey, lo, hi;
        cv::cvtColor(s.truth, grey, cv::COLOR_RGB2GRAY);
        const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(15, 15));
        cv::erode(grey, lo, square);
        cv::dilate(grey, hi, square);
        cv::Mat labels, stats, centroids;
        const int n = cv::connectedComponentsWithStats(hi == lo, labels, stats, centroids, 8);
        // Largest difference from the truth in any channel.
        const auto offTruth = [&](const cv::Mat& rgb, const cv::Mat& mask) {
            cv::Mat d, perPixel;
            cv::absdiff(rgb, s.truth, d);
            cv::reduce(d.reshape(1, d.rows * d.cols), perPixel, 1, cv::REDUCE_MAX);
            double most;
            cv::minMaxLoc(perPixel, nullptr, &most, nullptr, nullptr, mask.reshape(1, mask.rows * mask.cols));
            return most;
        };
        int places = 0;
        for (int i = 1; i < n; ++i) {
            if (stats.at<int>(i, cv::CC_STAT_AREA) < 200)
                continue;
            ++places;
            const cv::Mat mask = labels == i;
            double noise = 255.0;
            for (const cv::Mat& f : s.frames)
                noise = std::min(noise, offTruth(f, mask));
            const double ours = offTruth(fused, mask);
            // Two grey levels for the colour conversions on the way.
            QVERIFY2(ours <= noise + 2.0, qPrintable(QString("flat place at (%1, %2): %3 grey levels off the truth, "
                                                            "the nearest frame %4")
                                                        .arg(centroids.at<double>(i, 0), 0, 'f', 0)
                                                        .arg(centroids.at<double>(i, 1), 0, 'f', 0)
                                                        .arg(ours)
                                                        .arg(noise)));
        }
        QVERIFY(places >= 5);
    }

private:
    std::unique_ptr<TestEnv> env;
};

QTEST_GUILESS_MAIN(TestFocusStackSweep)
#include "tst_focus_stack_sweep.moc"
