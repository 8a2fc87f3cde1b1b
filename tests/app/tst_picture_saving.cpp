#include "app/MainWidget.h"
#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/SnapshotFiles.h"
#include "resources/SevrinResources.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

// The last step of a snapshot: the picture is written, listed among the recent
// images with its thumbnail, and the recent list is renumbered on load.
class TestPictureSaving : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void savesDirectlyWithThumbnail();
    void sameTwiceKeepsItsIndex();
    void failedSaveLeavesTheListAlone();
    void recentListKeepsNewestFifty();
    void missingPictureDropsOut();
    void hugeCountLoadsAtOnce();
    void exportPathFallsBack();
};

static QImage picture(int w, int h, QColor c = Qt::darkCyan) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

static void writeFile(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

void TestPictureSaving::savesDirectlyWithThumbnail() {
    TestEnv env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam); // opens ./ImageHistory.ini
    MainWidget w;
    QSignalSpy icon(hub, &MessagePassing::removeIconCameraSIGNAL);
    const QString path = env.file("Export/Image/a.png");
    QDir().mkpath(env.file("Export/Image"));
    hub->saveImageByFileDialog(picture(3840, 2160), path, true, true);
    QVERIFY(QFile::exists(path));
    QCOMPARE(QDir(env.file("Export/Image")).entryList(QDir::Files), QStringList{"a.png"}); // no temporary left
    QCOMPARE(QImageReader(path).format(), QByteArray("png"));
    QTRY_VERIFY(QFile::exists("./.scaleImage/0.jpg"));
    const QImage thumb("./.scaleImage/0.jpg");
    QCOMPARE(thumb.size(), QSize(526, 296));
    QCOMPARE(hub->getImageHistoryPath(0), path);
    QCOMPARE(icon.count(), 1);
    hub->setCurCamera(nullptr);
}

void TestPictureSaving::sameTwiceKeepsItsIndex() {
    TestEnv env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    MainWidget w;
    const QString path = env.file("b.jpg");
    hub->saveImageByFileDialog(picture(200, 100, Qt::red), path, true, true);
    hub->saveImageByFileDialog(picture(400, 100, Qt::blue), path, true, true);
    QCOMPARE(hub->getImageHistoryTotalCnt(), 1);
    QCOMPARE(QImage("./.scaleImage/0.jpg").size(), QSize(1184, 296)); // replaced by the second
    hub->setCurCamera(nullptr);
}

void TestPictureSaving::failedSaveLeavesTheListAlone() {
    TestEnv env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    MainWidget w;
    hub->saveImageByFileDialog(picture(100, 100), env.file("no/such/folder/c.jpg"), true, true);
    QTRY_VERIFY(errorBoxText(false).contains("c.jpg"));
    errorBoxText();
    QCOMPARE(hub->getImageHistoryTotalCnt(), 0);
    QVERIFY(!QFile::exists("./.scaleImage/0.jpg"));
    hub->setCurCamera(nullptr);
}

void TestPictureSaving::recentListKeepsNewestFifty() {
    TestEnv env;
    QDir().mkpath("./.scaleImage");
    {
        QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
        for (int i = 0; i < 70; ++i) {
            const QString p = env.file(QString("p%1.jpg").arg(i));
            writeFile(p);
            ini.setValue(QString::number(i), p);
            QVERIFY(picture(10 + i, 10).save(QString("./.scaleImage/%1.jpg").arg(i)));
        }
        ini.setValue("TotalCnt", 70);
    }
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    QCOMPARE(hub->getImageHistoryTotalCnt(), 50);
    QCOMPARE(hub->getImageHistoryPath(0), env.file("p20.jpg"));
    QCOMPARE(hub->getImageHistoryPath(49), env.file("p69.jpg"));
    QCOMPARE(QImage("./.scaleImage/0.jpg").width(), 30); // old 20.jpg moved to 0
    QCOMPARE(QImage("./.scaleImage/49.jpg").width(), 79);
    QVERIFY(!QFile::exists("./.scaleImage/50.jpg"));
    hub->setCurCamera(nullptr);
}

void TestPictureSaving::missingPictureDropsOut() {
    TestEnv env;
    QDir().mkpath("./.scaleImage");
    {
        QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
        for (int i = 0; i < 5; ++i) {
            const QString p = env.file(QString("q%1.jpg").arg(i));
            if (i != 3)
                writeFile(p);
            ini.setValue(QString::number(i), p);
            QVERIFY(picture(10 + i, 10).save(QString("./.scaleImage/%1.jpg").arg(i)));
        }
        ini.setValue("TotalCnt", 5);
    }
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    QCOMPARE(hub->getImageHistoryTotalCnt(), 4);
    QCOMPARE(hub->getImageHistoryPath(3), env.file("q4.jpg"));
    QCOMPARE(QImage("./.scaleImage/3.jpg").width(), 14);
    // Removing everything keeps counting until the next load.
    hub->removeAllImageHistory();
    writeFile(env.file("new.jpg"));
    QCOMPARE(hub->addImageHistory(env.file("new.jpg")), 4);
    hub->setCurCamera(&cam);
    QCOMPARE(hub->getImageHistoryPath(0), env.file("new.jpg"));
    hub->setCurCamera(nullptr);
}

void TestPictureSaving::hugeCountLoadsAtOnce() {
    TestEnv env;
    {
        QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
        writeFile(env.file("only.jpg"));
        ini.setValue("5", env.file("only.jpg"));
        ini.setValue("TotalCnt", 2000000000);
    }
    BaseCamera cam;
    QElapsedTimer t;
    t.start();
    MessagePassing::instance()->setCurCamera(&cam);
    QCOMPARE(MessagePassing::instance()->getImageHistoryTotalCnt(), 1);
    MessagePassing::instance()->setCurCamera(nullptr);
}

void TestPictureSaving::exportPathFallsBack() {
    TestEnv env;
    QSettings set("./CameraSet.ini", QSettings::IniFormat);
    set.setValue("imgPath", env.file("gone"));
    const QString p = MessagePassing::instance()->checkImgPath(&set);
    QCOMPARE(p, env.file("Export/Image"));
    QVERIFY(QDir(p).exists());
    QCOMPARE(set.value("imgPath").toString(), p);
    QDir().mkpath(env.file("mine"));
    set.setValue("videoPath", env.file("mine"));
    QCOMPARE(MessagePassing::instance()->checkVideoPath(&set), env.file("mine"));
}

QTEST_MAIN(TestPictureSaving)
#include "tst_picture_saving.moc"
