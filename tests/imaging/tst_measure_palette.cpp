// The tool palette offscreen: tool numbers, delete-all through the overlay,
// lock and auto edge kept in ./MeasureForm.ini, screenshot and save with and
// without a camera, and the busy bracket that a failed save must close.

#include "tests/panels/measure/OverlayHost.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "imaging/FrameForm.h"
#include "measure/engine/ItemLayer.h"
#include "panels/measure/MeasureForm.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

// Records the snapshot request; "fails" like a camera whose picture never
// reached the disk: it hands the path on with no file behind it.
class RecordingCamera : public BaseCamera {
public:
    void snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                   int sizeIndex) override {
        calls << QVariantList{path, mode, saveDirect, timeStamp, colour, position, sizeIndex};
        MessagePassing::instance()->snapImage(path, mode);
    }
    QList<QVariantList> calls;
};

} // namespace

class MeasurePaletteTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MeasureForm> form;
    MessagePassing* hub = nullptr;

    QToolButton* btn(int n) { return form->findChild<QToolButton*>(QString("btn_%1").arg(n)); }

private slots:
    void initTestCase() { sevrinInitResources(); }
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(0);
        form = std::make_unique<MeasureForm>();
    }
    void cleanup() {
        form.reset();
        hub->setCurCamera(nullptr);
        env.reset();
    }

    void everyButtonHasItsIconAndHint() {
        for (int n = 0; n <= 28; ++n) {
            QVERIFY2(btn(n), qPrintable(QString::number(n)));
            QVERIFY(!btn(n)->icon().isNull());
            QCOMPARE(btn(n)->iconSize(), QSize(50, 50));
        }
        hub->setLanguage(1);
        QSignalSpy hint(hub, SIGNAL(bewriteTextUpdateSIGNAL(bool, QPoint, QString)));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(btn(8), &enter);
        QCOMPARE(hint.last()[2].toString(), QString("Crease"));
        QCOMPARE(form->findChild<QLabel*>("labTitle_2")->text(), QString("Measure Function"));
        hub->setLanguage(2);
        QApplication::sendEvent(btn(8), &enter);
        QCOMPARE(hint.last()[2].toString(), QString::fromUtf8("折線"));
        QApplication::sendEvent(btn(11), &enter);
        QCOMPARE(hint.last()[2].toString(), QString::fromUtf8("圓形(三點)"));
    }

    void toolButtonSendsItsNumber_data() {
        QTest::addColumn<int>("n");
        for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22, 23, 24, 25, 28})
            QTest::addRow("btn_%d", n) << n;
    }
    void toolButtonSendsItsNumber() {
        QFETCH(int, n);
        QSignalSpy tool(hub, SIGNAL(useMeasureToolSIGNAL(int)));
        btn(n)->click();
        QCOMPARE(tool.count(), 1);
        QCOMPARE(tool[0][0].toInt(), n);
    }

    void deleteAllIsConfirmedByTheOverlay() {
        OverlayHost overlay;
        ItemLayer* layer = overlay.layer;
        int asked = 0;
        bool answer = false;
        layer->setConfirmHook([&](const QString&, const QString&, const QString&, const QString&) {
            ++asked;
            return answer;
        });
        btn(18)->click();
        QCOMPARE(asked, 1);
        answer = true;
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        btn(18)->click();
        QCOMPARE(asked, 2);
        QCOMPARE(table.count(), 1);
    }

    void lockAndAutoEdgeSurviveANewPanel() {
        QVERIFY(btn(20)->isVisibleTo(form.get()) && !btn(19)->isVisibleTo(form.get()));
        QVERIFY(btn(21)->isChecked());
        {
            QSettings ini("./MeasureForm.ini", QSettings::IniFormat);
            QCOMPARE(ini.value("isAutoEdge").toString(), QString("true"));
            QVERIFY(!ini.contains("isCanMoveItem"));
        }
        QSignalSpy lock(hub, SIGNAL(setIsCanMoveItemSIGNAL(bool)));
        QSignalSpy edge(hub, SIGNAL(setAutoEdgeStateSIGNAL(bool)));
        btn(20)->click();
        QCOMPARE(lock.takeFirst()[0].toBool(), false);
        QVERIFY(btn(19)->isVisibleTo(form.get()) && !btn(20)->isVisibleTo(form.get()));
        btn(21)->click();
        QCOMPARE(edge.takeFirst()[0].toBool(), false);
        QVERIFY(!btn(21)->isChecked());

        form = std::make_unique<MeasureForm>();
        QCOMPARE(lock.takeFirst()[0].toBool(), false);
        QCOMPARE(edge.count(), 0);
        QVERIFY(btn(19)->isVisibleTo(form.get()));
        QVERIFY(!btn(21)->isChecked());
        btn(19)->click();
        QCOMPARE(lock.takeFirst()[0].toBool(), true);
        QCOMPARE(QSettings("./MeasureForm.ini", QSettings::IniFormat).value("isCanMoveItem").toBool(), true);
    }

    void screenshotAndSaveAskTheCamera_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("screenshot") << 26 << 8 << "screenshot_";
        QTest::newRow("save") << 27 << 9 << "graphic_";
    }
    void screenshotAndSaveAskTheCamera() {
        QFETCH(int, n);
        QFETCH(int, mode);
        QFETCH(QString, prefix);
        RecordingCamera camera;
        hub->setCurCamera(&camera);
        QSignalSpy busy(hub, SIGNAL(addIconCameraSIGNAL()));
        QSignalSpy idle(hub, SIGNAL(removeIconCameraSIGNAL()));
        // The camera's answer arrives inside the click; look at the state in between.
        // The connection lives as long as this case: a later case that makes
        // the hub emit must not reach a lambda writing into a finished frame.
        bool disabledMeanwhile = false;
        QObject watching;
        connect(hub, &MessagePassing::addIconCameraSIGNAL, &watching,
                [&] { disabledMeanwhile = !btn(26)->isEnabled() && !btn(27)->isEnabled(); });
        btn(n)->click();
        QCOMPARE(camera.calls.size(), 1);
        const QVariantList call = camera.calls[0];
        const QFileInfo path(call[0].toString());
        QCOMPARE(QDir(path.absolutePath()).canonicalPath(), QDir(env->file("Export/Image")).canonicalPath());
        QVERIFY2(QRegularExpression("^" + prefix + "\\d{8}_\\d{6}_\\d{3}$").match(path.fileName()).hasMatch(),
                 qPrintable(path.fileName()));
        QCOMPARE(call.mid(1), (QVariantList{mode, true, false, QColor(Qt::red), 0, 0}));
        QVERIFY(disabledMeanwhile);
        QCOMPARE(busy.count(), 1);
        // No picture came back: the bracket is closed all the same.
        QCOMPARE(idle.count(), 1);
        QVERIFY(btn(26)->isEnabled() && btn(27)->isEnabled());
    }

    void screenshotWithoutCameraDoesNothing() {
        QSignalSpy busy(hub, SIGNAL(addIconCameraSIGNAL()));
        QSignalSpy still(hub, SIGNAL(snapImageModeSIGNAL(QString, QString, int)));
        btn(26)->click();
        btn(27)->click();
        QCOMPARE(busy.count(), 0);
        QCOMPARE(still.count(), 0);
        QVERIFY(btn(26)->isEnabled());
    }

    void stillPictureGoesToTheStillView() {
        FrameForm still; // no picture loaded: the save ends at once
        hub->setIsCameraMode(false);
        QSignalSpy request(hub, SIGNAL(snapImageModeSIGNAL(QString, QString, int)));
        QSignalSpy idle(hub, SIGNAL(removeIconCameraSIGNAL()));
        btn(27)->click();
        hub->setIsCameraMode(true);
        QCOMPARE(request.count(), 1);
        QCOMPARE(request[0][1].toString(), hub->imgType);
        QCOMPARE(request[0][2].toInt(), 9);
        QCOMPARE(idle.count(), 1);
        QVERIFY(btn(26)->isEnabled() && btn(27)->isEnabled());
    }
};

QTEST_MAIN(MeasurePaletteTest)
#include "tst_measure_palette.moc"
