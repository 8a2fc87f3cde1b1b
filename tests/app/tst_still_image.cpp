#include "app/MainWidget.h"
#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/SnapshotFiles.h"
#include "imaging/FrameForm.h"
#include "imaging/NoWheelGraphicsView.h"
#include "imaging/OpacityForm.h"
#include "imaging/SnapOpenSave.h"
#include "resources/SevrinResources.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TmpfsMount.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <unistd.h>

// The still picture: zoom table and anchored zoom, the overlay's opacity, and
// Save / Save as through the whole hub road.
class TestStillImage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void zoomTable_data();
    void zoomTable();
    void anchoredZoomKeepsThePixel();
    void badIndexesAreClamped();
    void opacityDoesNotAccumulate();
    void overlayBlendsOverThePicture();
    void saveWritesTheShownPicture_data();
    void saveWritesTheShownPicture();
    void failedSaveKeepsTheOriginal_data();
    void failedSaveKeepsTheOriginal();
    void saveAsName_data();
    void saveAsName();
    void saveAsWithoutSuffixWritesTheChosenType_data();
    void saveAsWithoutSuffixWritesTheChosenType();
    void failedSaveAsLeavesThePictureOnScreen();
    void saveAsAsksBeforeReplacingUnderTheAddedSuffix_data();
    void saveAsAsksBeforeReplacingUnderTheAddedSuffix();
    void wheelZoomsTheViewOnly_data();
    void wheelZoomsTheViewOnly();
    void doubleClickReportsThePoint();
};

// A picture with detail everywhere, so that any shift or re-encoding shows.
static QImage pattern(int w, int h) {
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
    return img;
}

void TestStillImage::zoomTable_data() {
    QTest::addColumn<QSize>("parent");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("index");
    QTest::addColumn<float>("fit");
    QTest::newRow("fit 0.5") << QSize(800, 600) << QSize(1600, 1000) << 4 << 0.5f;
    QTest::newRow("fit above 1") << QSize(800, 600) << QSize(200, 100) << 10 << 4.0f;
    QTest::newRow("fit 0.25 by height") << QSize(800, 100) << QSize(400, 400) << 2 << 0.25f;
    QTest::newRow("no picture") << QSize(800, 600) << QSize(0, 0) << 9 << 1.0f;
}

void TestStillImage::zoomTable() {
    QFETCH(QSize, parent);
    QFETCH(QSize, picture);
    QFETCH(int, index);
    QFETCH(float, fit);
    int at = -2;
    const QList<float> t = FrameForm::buildZoomTable(parent, picture, &at);
    QCOMPARE(t.size(), 11);
    QCOMPARE(at, index);
    QCOMPARE(t[at], fit);
    QVERIFY(std::is_sorted(t.begin(), t.end()));
}

void TestStillImage::anchoredZoomKeepsThePixel() {
    TestEnv env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    hub->setIsCameraMode(false);
    QWidget parent;
    parent.resize(800, 600);
    FrameForm form(&parent);
    pattern(1600, 1200).save(env.file("p.png"));
    QSignalSpy ok(hub, SIGNAL(setEditImageOKSIGNAL()));
    hub->setEditImage(env.file("p.png"));
    QCOMPARE(ok.count(), 1);
    QCOMPARE(form.getScaleIndex(), 4); // fit 0.5 beside the step 0.5
    QCOMPARE(form.setScaleIndex(4, QPoint(-10000, -10000)), 0.5f);
    QCOMPARE(form.geometry(), QRect(0, 0, 800, 600));
    // The picture pixel under the cursor at (300, 200) of the form is
    // (600, 400); after zooming to 1.0 it must still lie under that cursor.
    const QPoint cursorInParent = form.pos() + QPoint(300, 200);
    QCOMPARE(form.setScaleIndex(10, QPoint(300, 200)), 1.0f);
    QCOMPARE(form.size(), QSize(1600, 1200));
    QCOMPARE(cursorInParent - form.pos(), QPoint(600, 400));
    // Back to a scale at or below the fit centres, anchor or not.
    form.setScaleIndex(2, QPoint(10, 10));
    QCOMPARE(form.pos(), QPoint((800 - 480) / 2, (600 - 360) / 2));
    hub->setCurCamera(nullptr);
}

void TestStillImage::badIndexesAreClamped() {
    TestEnv env;
    BaseCamera cam;
    MessagePassing::instance()->setCurCamera(&cam);
    QWidget parent;
    parent.resize(100, 100);
    FrameForm form(&parent);
    QCOMPARE(form.setScaleIndex(5, QPoint(1, 1)), 1.0f); // no table: nothing
    form.fitToWindow();                                  // no picture: nothing
    QVERIFY(form.zoomTable().isEmpty());
    pattern(400, 200).save(env.file("p.png"));
    MessagePassing::instance()->setEditImage(env.file("p.png"));
    QCOMPARE(form.setScaleIndex(99, QPoint(-10000, -10000)), 1.0f); // the last entry
    QCOMPARE(form.setScaleIndex(-3, QPoint(-10000, -10000)), 0.1f); // the first
    QCOMPARE(form.size(), QSize(40, 20));
    MessagePassing::instance()->setCurCamera(nullptr);
}

void TestStillImage::opacityDoesNotAccumulate() {
    TestEnv env;
    pattern(64, 48).save(env.file("o.png"));
    OpacityForm direct, stepped;
    direct.resize(64, 48);
    stepped.resize(64, 48);
    direct.setOverlayImageSLOT(env.file("o.png"), 30);
    stepped.setOverlayImageSLOT(env.file("o.png"), 30);
    stepped.setOverlayOpacitySLOT(80);
    QCOMPARE(qAlpha(stepped.overlay().pixel(3, 3)), 204);
    stepped.setOverlayOpacitySLOT(30);
    QCOMPARE(stepped.overlay(), direct.overlay());
    QCOMPARE(qAlpha(direct.overlay().pixel(5, 7)), 76); // trunc(0.3 x 255)
    QCOMPARE(OpacityForm::alphaOf(50), 127);
    QCOMPARE(OpacityForm::alphaOf(100), 255);
    QCOMPARE(OpacityForm::alphaOf(0), 0);
}

void TestStillImage::overlayBlendsOverThePicture() {
    TestEnv env;
    QImage blue(64, 48, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 200));
    blue.save(env.file("b.png"));
    QWidget area;
    area.resize(64, 48);
    area.setStyleSheet("background-color:rgb(0, 0, 0);"); // as the view area has
    QLabel under(&area); // the picture below: grey
    under.setGeometry(0, 0, 64, 48);
    under.setStyleSheet("background-color:rgb(100, 100, 100);");
    OpacityForm form(&area);
    form.resize(64, 48);
    form.setOverlayImageSLOT(env.file("b.png"), 50);
    area.show();
    const QColor c = area.grab().toImage().pixelColor(30, 20);
    // 127 / 255 of blue over grey.
    QVERIFY2(std::abs(c.red() - 50) <= 2 && std::abs(c.blue() - 150) <= 2, qPrintable(c.name()));
}

void TestStillImage::saveWritesTheShownPicture_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("saveAs");
    for (const char* s : {"jpg", "png", "bmp", "tiff", "jpeg", "JPG", "PNG"}) {
        QTest::newRow(QByteArray("save ") + s) << QString(s) << false;
        QTest::newRow(QByteArray("save as ") + s) << QString(s) << true;
    }
}

namespace {
// What a save runs against: a camera, the main widget (which writes the
// final file), the still view and its buttons; the overlay's drawing step
// passes the picture on unchanged.
struct SaveRig {
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    QWidget area;
    MainWidget main;
    FrameForm* form;
    SnapOpenSave bar;
    QMetaObject::Connection relay;
    SaveRig() {
        hub->setCurCamera(&cam);
        area.resize(640, 480);
        form = new FrameForm(&area);
        relay = QObject::connect(hub, &MessagePassing::saveItemSIGNAL, hub,
                                 [this](QImage* image, int mode, QString target) { hub->saveItemFinish(mode, target, image); });
        hub->setIsCameraMode(false);
    }
    ~SaveRig() {
        QObject::disconnect(relay);
        SnapOpenSave::setFileChooser({});
        hub->setCurCamera(nullptr);
    }
};
} // namespace

static int maxDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size())
        return 1000;
    int worst = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int i = 0; i < x.width() * 3; ++i)
            worst = std::max(worst, std::abs(int(x.scanLine(r)[i]) - int(y.scanLine(r)[i])));
    return worst;
}

void TestStillImage::saveWritesTheShownPicture() {
    QFETCH(QString, suffix);
    QFETCH(bool, saveAs);
    TestEnv env;
    SaveRig rig;
    const QImage shown = pattern(320, 200);
    const QString original = env.file("shot." + suffix);
    QVERIFY(shown.save(original, suffix == "jpeg" ? "jpg" : suffix.toUtf8().constData(), 100));
    rig.hub->setEditImage(original);
    QVERIFY(rig.form->isImageLoaded());
    const QImage loaded = rig.form->picture();
    const QString target = saveAs ? env.file("copy." + suffix) : original;
    SnapOpenSave::setFileChooser([&](const QString&, const QString&, const QString&, bool, QString*) { return target; });
    QSignalSpy saved(rig.hub, SIGNAL(imageModeSaveSIGNAL()));
    if (saveAs)
        QMetaObject::invokeMethod(&rig.bar, "btnSaveAsClick");
    else
        QMetaObject::invokeMethod(&rig.bar, "btnSaveClick");
    QCOMPARE(saved.count(), 1);
    // Exactly the shown picture encoded once in the file's format (JPEG at
    // quality 100): no intermediate encoding on the way.
    QBuffer once;
    once.open(QIODevice::ReadWrite);
    QVERIFY(loaded.save(&once, suffix == "jpeg" ? "jpg" : suffix.toUtf8().constData(), 100));
    QCOMPARE(maxDifference(QImage(target), QImage::fromData(once.data())), 0);
    // Nothing but the pictures is left beside them, and no temporary file.
    QStringList expected{"shot." + suffix};
    if (saveAs)
        expected << "copy." + suffix;
    expected.sort();
    QCOMPARE(QDir(env.path()).entryList({"*." + suffix}, QDir::Files, QDir::Name), expected);
    QVERIFY(QDir::temp().entryList({"sevrin-edit-*"}, QDir::Files).isEmpty());
    // Save as opens the new file.
    QCOMPARE(rig.hub->getEditImagePath(), target);
}

// Save writes over the opened picture without asking: where it cannot (its
// disk full, or a picture the user may not write, such as a reference
// protected with chmod a-w) the box says why and the picture stays.
void TestStillImage::failedSaveKeepsTheOriginal_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("full disk") << "full disk";
    QTest::newRow("read-only picture") << "read-only picture";
}

void TestStillImage::failedSaveKeepsTheOriginal() {
    QFETCH(QString, obstacle);
    TestEnv env;
    std::unique_ptr<TmpfsMount> disk;
    QString original = env.file("reference.png");
    if (obstacle == "full disk") {
        disk = std::make_unique<TmpfsMount>(env.file("disk"), "size=64k");
        if (!disk->ok())
            QSKIP(qPrintable(disk->error()));
        original = disk->path() + "/reference.png";
    } else if (::geteuid() == 0) {
        QSKIP("root may write any file");
    }
    SaveRig rig;
    QVERIFY(pattern(64, 64).save(original));
    QFile in(original);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray before = in.readAll();
    in.close();
    if (disk)
        QVERIFY(disk->fill("filler"));
    else
        QVERIFY(QFile::setPermissions(original, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const int language = rig.hub->language();
    rig.hub->setLanguage(1);
    rig.hub->setEditImage(original);
    QMetaObject::invokeMethod(&rig.bar, "btnSaveClick");
    QTRY_VERIFY(!errorBoxText(false).isEmpty());
    const QString box = errorBoxText();
    rig.hub->setLanguage(language);
    QVERIFY(box.contains(original));
    QVERIFY2(box.contains(disk ? "The disk is full" : "Writing the file is not allowed"), qPrintable(box));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), before);
}

void TestStillImage::saveAsName_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix, jpg chosen") << "/d/meas_overlay" << "jpg(*.jpg)" << "/d/meas_overlay.jpg";
    QTest::newRow("no suffix, png chosen") << "/d/meas_overlay" << " png(*.png)" << "/d/meas_overlay.png";
    QTest::newRow("no suffix, tiff chosen") << "/d/m" << " tiff(*.tiff)" << "/d/m.tiff";
    QTest::newRow("no suffix, no type") << "/d/m" << "" << "/d/m.jpg";
    QTest::newRow("trailing dot") << "/d/m." << " bmp(*.bmp)" << "/d/m.bmp";
    QTest::newRow("dot in the folder") << "/d.v2/m" << " png(*.png)" << "/d.v2/m.png";
    QTest::newRow("unknown suffix kept in the name") << "/d/run.v2" << "jpg(*.jpg)" << "/d/run.v2.jpg";
    QTest::newRow("typed suffix wins") << "/d/m.png" << "jpg(*.jpg)" << "/d/m.png";
    QTest::newRow("typed suffix, upper case") << "/d/m.JPEG" << " png(*.png)" << "/d/m.JPEG";
    QTest::newRow("typed tif") << "/d/m.tif" << "jpg(*.jpg)" << "/d/m.tif";
}

void TestStillImage::saveAsName() {
    QFETCH(QString, chosen);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QCOMPARE(SnapOpenSave::saveAsName(chosen, filter), written);
}

void TestStillImage::saveAsWithoutSuffixWritesTheChosenType_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("jpg") << "jpg(*.jpg)" << QByteArray("\xff\xd8\xff") << "jpg";
    QTest::newRow("png") << " png(*.png)" << QByteArray("\x89PNG") << "png";
    QTest::newRow("bmp") << " bmp(*.bmp)" << QByteArray("BM") << "bmp";
}

void TestStillImage::saveAsWithoutSuffixWritesTheChosenType() {
    QFETCH(QString, filter);
    QFETCH(QByteArray, magic);
    QFETCH(QString, suffix);
    TestEnv env;
    SaveRig rig;
    const QString original = env.file("shot.png");
    QVERIFY(pattern(120, 90).save(original));
    rig.hub->setEditImage(original);
    SnapOpenSave::setFileChooser([&](const QString&, const QString&, const QString& filters, bool save, QString* chosen) {
        if (!save || !chosen || !filters.contains(filter.trimmed()))
            return QString();
        *chosen = filter;
        return env.file("meas_overlay");
    });
    QMetaObject::invokeMethod(&rig.bar, "btnSaveAsClick");
    const QString written = env.file("meas_overlay." + suffix);
    QFile file(written);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(QDir(env.path()).entryList().join(", ")));
    QVERIFY(file.read(magic.size()) == magic); // the chosen type's own signature
    file.close();
    QCOMPARE(QImage(written).size(), QSize(120, 90));
    QVERIFY(!QFile::exists(env.file("meas_overlay.")));
    QVERIFY(errorBoxText().isEmpty());
    // The written file is the one now being edited, shown in the view.
    QCOMPARE(rig.hub->getEditImagePath(), written);
    QVERIFY(rig.form->isImageLoaded());
}

void TestStillImage::failedSaveAsLeavesThePictureOnScreen() {
    TestEnv env;
    SaveRig rig;
    const QString original = env.file("shot.png");
    QVERIFY(pattern(80, 60).save(original));
    rig.hub->setEditImage(original);
    const QImage shown = rig.form->picture();
    QVERIFY(!shown.isNull());
    const QString target = env.file("no/such/folder/copy.png");
    SnapOpenSave::setFileChooser([&](const QString&, const QString&, const QString&, bool, QString*) { return target; });
    QSignalSpy reopened(rig.hub, SIGNAL(setEditImageSIGNAL(QString)));
    QMetaObject::invokeMethod(&rig.bar, "btnSaveAsClick");
    QTRY_VERIFY(!errorBoxText(false).isEmpty());
    QVERIFY(errorBoxText().contains(target));
    QVERIFY(reopened.isEmpty());
    QVERIFY(rig.form->isImageLoaded());
    QCOMPARE(rig.form->picture(), shown);
    QCOMPARE(rig.hub->getEditImagePath(), original);
}

void TestStillImage::saveAsAsksBeforeReplacingUnderTheAddedSuffix_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("replace");
    QTest::newRow("bare name, keep the old file") << "meas_overlay" << false;
    QTest::newRow("bare name, replace it") << "meas_overlay" << true;
    QTest::newRow("typed with its suffix, keep the old file") << "meas_overlay.jpg" << false;
}

// Typed without a suffix, the name gets the chosen type's before the dialog
// asks about replacing: the same question as for the name typed in full.
void TestStillImage::saveAsAsksBeforeReplacingUnderTheAddedSuffix() {
    QFETCH(QString, typed);
    QFETCH(bool, replace);
    TestEnv env;
    SaveRig rig;
    const QString original = env.file("shot.png");
    QVERIFY(pattern(120, 90).save(original));
    rig.hub->setEditImage(original);
    const QString existing = env.file("meas_overlay.jpg");
    {
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the user's older picture");
    }
    QString question;
    bool stillOpen = false;
    answerNextModal("QFileDialog", [&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        dialog->selectNameFilter("jpg(*.jpg)");
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(env.file(typed));
        answerNextModal("QMessageBox", [&](QWidget* b) {
            auto* box = static_cast<QMessageBox*>(b);
            question = box->text();
            box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        }, 5000);
        QMetaObject::invokeMethod(dialog, "accept"); // as the Save button does
        stillOpen = dialog->isVisible();
        if (stillOpen)
            dialog->reject();
    });
    QMetaObject::invokeMethod(&rig.bar, "btnSaveAsClick");
    QVERIFY2(question.contains("meas_overlay.jpg"), qPrintable(question));
    QCOMPARE(stillOpen, !replace);
    QFile f(existing);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray now = f.readAll();
    if (replace)
        QCOMPARE(QImage::fromData(now).size(), QSize(120, 90));
    else
        QCOMPARE(now, QByteArray("the user's older picture"));
}

namespace {
// Counts the wheel and double-click events that reach it from a child.
class EventSink : public QWidget {
public:
    int wheels = 0, doubleClicks = 0;

protected:
    void wheelEvent(QWheelEvent* e) override {
        ++wheels;
        e->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        ++doubleClicks;
        e->accept();
    }
};

// A scene item that counts the wheel and double-click events the view hands on.
class SceneSink : public QGraphicsRectItem {
public:
    int wheels = 0, doubleClicks = 0;
    explicit SceneSink(QRectF r) : QGraphicsRectItem(r) {}

protected:
    void wheelEvent(QGraphicsSceneWheelEvent* e) override {
        ++wheels;
        e->accept();
    }
    void mousePressEvent(QGraphicsSceneMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* e) override {
        ++doubleClicks;
        e->accept();
    }
};

// The view in a parent, over a scene larger than itself with one sink item.
struct ViewRig {
    EventSink parent;
    QGraphicsScene scene{0, 0, 3000, 3000};
    SceneSink* item = new SceneSink(QRectF(0, 0, 3000, 3000));
    NoWheelGraphicsView view{&parent};
    ViewRig() {
        scene.addItem(item);
        parent.resize(300, 300);
        view.setScene(&scene);
        view.resize(200, 200);
        parent.show();
    }
};

void sendWheel(QWidget* to, QPoint angle) {
    QWheelEvent e(QPointF(50, 50), QPointF(to->mapToGlobal(QPoint(50, 50))), QPoint(), angle, Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(to, &e);
}
} // namespace

void TestStillImage::wheelZoomsTheViewOnly_data() {
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("second");
    QTest::addColumn<double>("scale");
    QTest::newRow("away twice") << QPoint(0, 120) << QPoint(0, 120) << 1.21;
    QTest::newRow("towards twice") << QPoint(0, -120) << QPoint(0, -120) << 0.81;
    QTest::newRow("away and back") << QPoint(0, 120) << QPoint(0, -120) << 0.99;
    QTest::newRow("smallest steps") << QPoint(0, 1) << QPoint(0, -1) << 0.99;
    QTest::newRow("a delta of 0 zooms in") << QPoint(0, 0) << QPoint(0, 0) << 1.21;
    QTest::newRow("sideways wheel") << QPoint(-120, 0) << QPoint(120, 0) << 0.99;
}

void TestStillImage::wheelZoomsTheViewOnly() {
    QFETCH(QPoint, first);
    QFETCH(QPoint, second);
    QFETCH(double, scale);
    ViewRig rig;
    NoWheelGraphicsView& view = rig.view;
    EventSink& parent = rig.parent;
    SceneSink* item = rig.item;
    view.verticalScrollBar()->setValue(100);
    sendWheel(view.viewport(), first);
    sendWheel(view.viewport(), second);
    QVERIFY(qAbs(view.transform().m11() - scale) < 1e-9);
    QVERIFY(qAbs(view.transform().m22() - scale) < 1e-9);
    // Taken: never passed on to scroll the view or reach the scene.
    QCOMPARE(parent.wheels, 0);
    QCOMPARE(item->wheels, 0);
}

void TestStillImage::doubleClickReportsThePoint() {
    ViewRig rig;
    NoWheelGraphicsView& view = rig.view;
    EventSink& parent = rig.parent;
    SceneSink* item = rig.item;
    QSignalSpy added(&view, SIGNAL(addSIGN(QPoint)));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(37, 61));
    QCOMPARE(added.size(), 1);
    QCOMPARE(added[0][0].toPoint(), QPoint(37, 61));
    QCOMPARE(parent.doubleClicks, 0);
    QCOMPARE(item->doubleClicks, 0);
}

QTEST_MAIN(TestStillImage)
#include "tst_still_image.moc"
