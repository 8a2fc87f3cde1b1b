#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "imaging/SnapOpenSave.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

// The capture bar's picture buttons: Save and Save as only for a still
// picture, overlay mode with its switch, slider and label, and what a
// recording disables and gives back.
class TestImageModeButtons : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void init();
    void cleanup();
    void saveOnlyForAStillPicture();
    void overlayModeComesAndGoes();
    void overlayNeedsAnExistingFile_data();
    void overlayNeedsAnExistingFile();
    void stillPictureEndsOverlayMode();
    void recordingDisablesAndGivesBack_data();
    void recordingDisablesAndGivesBack();
    void overlayIgnoredWhileRecording();

private:
    QToolButton* button(const char* name) const { return bar->findChild<QToolButton*>(name); }
    void enterOverlay(const QString& file);
    // Overlay mode with a small picture of the test's folder.
    void enterOverlayWithAPicture();

    std::unique_ptr<TestEnv> env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    std::unique_ptr<SnapOpenSave> bar;
    int dialogs = 0;
};

void TestImageModeButtons::init() {
    env = std::make_unique<TestEnv>();
    hub->setCurCamera(&cam);
    hub->setVideoState(false);
    hub->setIsCameraMode(true);
    dialogs = 0;
    bar = std::make_unique<SnapOpenSave>();
}

void TestImageModeButtons::cleanup() {
    bar.reset();
    SnapOpenSave::setFileChooser({});
    hub->setVideoState(false);
    hub->setCurCamera(nullptr);
    env.reset();
}

void TestImageModeButtons::enterOverlay(const QString& file) {
    SnapOpenSave::setFileChooser(
        [this, file](const QString&, const QString&, const QString&, bool, QString*) {
            ++dialogs;
            return file;
        });
    QMetaObject::invokeMethod(bar.get(), "btnOverlayClick");
}

void TestImageModeButtons::enterOverlayWithAPicture() {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(env->file("o.png")));
    enterOverlay(env->file("o.png"));
    QVERIFY(bar->overlayMode());
}

void TestImageModeButtons::saveOnlyForAStillPicture() {
    QVERIFY(!button("btnSave")->isEnabled());
    QVERIFY(!button("btnSaveAs")->isEnabled());
    hub->setIsCameraMode(false);
    QVERIFY(button("btnSave")->isEnabled());
    QVERIFY(button("btnSaveAs")->isEnabled());
    hub->setIsCameraMode(true);
    QVERIFY(!button("btnSave")->isEnabled());
    QVERIFY(!button("btnSaveAs")->isEnabled());
}

void TestImageModeButtons::overlayModeComesAndGoes() {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::blue);
    const QString file = env->file("o.png");
    QVERIFY(img.save(file));
    QSignalSpy shown(hub, SIGNAL(setOverlayImageSIGNAL(QString, int)));
    QSignalSpy opacity(hub, SIGNAL(setOverlayOpacitySIGNAL(int)));
    QSignalSpy cleared(hub, SIGNAL(clearOverlayImageSIGNAL()));
    enterOverlay(file);
    QVERIFY(bar->overlayMode());
    QCOMPARE(bar->width(), 530 * uiSizeFactor / 10);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0], (QVariantList{file, 50})); // slider 50: half transparent
    auto* slider = bar->findChild<QSlider*>("sliderOpacity");
    auto* label = bar->findChild<QLabel*>("labelOpacity");
    QVERIFY(slider && label && button("btnSwitchOverlay"));
    QCOMPARE(label->text(), QString("50%"));

    // The slider sets the transparency: 80 % transparent is opacity 20.
    slider->setValue(80);
    QCOMPARE(opacity.size(), 1);
    QCOMPARE(opacity[0][0].toInt(), 20);
    QCOMPARE(label->text(), QString("80%"));
    slider->setValue(100);
    QCOMPARE(opacity.last()[0].toInt(), 0);
    slider->setValue(0);
    QCOMPARE(opacity.last()[0].toInt(), 100);
    slider->setValue(80);

    // The switch button lays another picture over, at the same transparency.
    const QString other = env->file("p.png");
    QVERIFY(img.save(other));
    SnapOpenSave::setFileChooser(
        [&](const QString&, const QString&, const QString&, bool, QString*) { return other; });
    button("btnSwitchOverlay")->click();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1], (QVariantList{other, 20}));

    // Overlay again leaves the mode: the controls go, the panel narrows.
    QPointer<QSlider> gone = slider;
    QMetaObject::invokeMethod(bar.get(), "btnOverlayClick");
    QVERIFY(!bar->overlayMode());
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(bar->width(), 328 * uiSizeFactor / 10);
    QTRY_VERIFY(gone.isNull());
    QVERIFY(!bar->findChild<QLabel*>("labelOpacity"));

    // The transparency outlives the mode.
    enterOverlay(file);
    QCOMPARE(shown.last(), (QVariantList{file, 20}));
    QCOMPARE(bar->findChild<QSlider*>("sliderOpacity")->value(), 80);
    QCOMPARE(bar->findChild<QLabel*>("labelOpacity")->text(), QString("80%"));
}

void TestImageModeButtons::overlayNeedsAnExistingFile_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("cancelled") << QString();
    QTest::newRow("typed, missing") << QString("missing.png");
}

void TestImageModeButtons::overlayNeedsAnExistingFile() {
    QFETCH(QString, file);
    QSignalSpy shown(hub, SIGNAL(setOverlayImageSIGNAL(QString, int)));
    const int width = bar->width();
    enterOverlay(file.isEmpty() ? file : env->file(file));
    QCOMPARE(dialogs, 1);
    QVERIFY(!bar->overlayMode());
    QVERIFY(shown.isEmpty());
    QCOMPARE(bar->width(), width);
    QVERIFY(!bar->findChild<QSlider*>("sliderOpacity"));
}

void TestImageModeButtons::stillPictureEndsOverlayMode() {
    enterOverlayWithAPicture();
    QSignalSpy cleared(hub, SIGNAL(clearOverlayImageSIGNAL()));
    hub->setIsCameraMode(false);
    QVERIFY(!bar->overlayMode());
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(bar->width(), 328 * uiSizeFactor / 10);
}

void TestImageModeButtons::recordingDisablesAndGivesBack_data() {
    QTest::addColumn<bool>("cameraMode");
    QTest::addColumn<bool>("overlay");
    QTest::newRow("live view") << true << false;
    QTest::newRow("still picture") << false << false;
    QTest::newRow("live view in overlay mode") << true << true;
}

void TestImageModeButtons::recordingDisablesAndGivesBack() {
    QFETCH(bool, cameraMode);
    QFETCH(bool, overlay);
    hub->setIsCameraMode(cameraMode);
    if (overlay)
        enterOverlayWithAPicture();
    QSignalSpy cleared(hub, SIGNAL(clearOverlayImageSIGNAL()));
    hub->setVideoState(true);
    QVERIFY(!bar->overlayMode());
    QCOMPARE(cleared.size(), overlay ? 1 : 0);
    QCOMPARE(bar->width(), (overlay ? 328 : 346) * uiSizeFactor / 10);
    for (const char* name : {"btnOpen", "btnSave", "btnSaveAs", "btnOverlay"})
        QVERIFY2(!button(name)->isEnabled(), name);
    for (const char* name : {"btnScaleOK", "btndelAll"})
        QVERIFY2(button(name)->isEnabled(), name);

    hub->setVideoState(false);
    QVERIFY(button("btnOpen")->isEnabled());
    QCOMPARE(button("btnSave")->isEnabled(), !cameraMode);
    QCOMPARE(button("btnSaveAs")->isEnabled(), !cameraMode);
    QVERIFY(button("btnOverlay")->isEnabled());
    QVERIFY(!button("btnOverlay")->isHidden());
}

void TestImageModeButtons::overlayIgnoredWhileRecording() {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(env->file("o.png")));
    hub->setVideoState(true);
    QSignalSpy shown(hub, SIGNAL(setOverlayImageSIGNAL(QString, int)));
    enterOverlay(env->file("o.png"));
    QCOMPARE(dialogs, 0); // not even asked
    QVERIFY(!bar->overlayMode());
    QVERIFY(shown.isEmpty());
}

QTEST_MAIN(TestImageModeButtons)
#include "tst_image_mode_buttons.moc"
