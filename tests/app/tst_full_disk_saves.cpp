// Every writer of the user's work on a nearly full disk: a small tmpfs where
// the file lives, filled until 0, 1, 2 ... pages are free, then the writer
// runs as the user makes it run. At every level the file is either whole
// (read back by Python's own readers: PIL for pictures, configparser for
// INI files) and nothing complained, or it is byte for byte what it was, the
// "Error" box says that the disk is full, and nothing claimed a save.

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/ThreaSaveImg.h"
#include "export/forms/WordEditDialog.h"
#include "export/forms/XlsEditDialog.h"
#include "export/forms/XlsLineEdit.h"
#include "export/forms/XlsSet.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/ItemLayer.h"
#include "imaging/PinJieForm.h"
#include "panels/measure/LineForm.h"
#include "panels/measure/ScaleSet.h"
#include "measure/shapes/ShapeRegistration.h"
#include "panels/camera/CameraParaForm.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/PasswordDialog.h"
#include "platform/AppPaths.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/MouseInput.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "tests/support/TmpfsMount.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A picture with detail enough for a JPEG of several pages.
QImage specimen() {
    QImage image(320, 240, QImage::Format_RGB888);
    quint32 seed = 7;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgb((x * 3) & 255, (y * 5) & 255, (seed >> 24) & 255));
        }
    return image;
}

int jpegPages() {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(100);
    writer.write(specimen());
    return int((bytes.size() + 4095) / 4096);
}

// One writer: where its file lives, the older state it starts from, the
// user's action, and what the file must hold when the action worked.
struct Writer {
    QString folder;                    // the mount point
    QString file;                      // the file written, in folder
    std::function<void()> prepare;     // before the disk is filled
    std::function<void()> act;         // the user's action
    std::function<bool(const QString& file)> whole; // the new content, read back
    int pages;                         // levels 0..pages are tried; the last must succeed
    QString successTitle = QString();  // the box's title when the action claims success
    QString successText = QString();   // the box's text when it claims success (a box without title)
};

bool visibleBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    return false;
}

QString iniValue(const QJsonObject& ini, const QString& section, const QString& key) {
    return ini[section].toObject()[key].toString();
}

} // namespace

class FullDiskSavesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<CCrossLineContainer> lines;
    std::unique_ptr<CScaleContainer> scales;
    std::unique_ptr<ThreaSaveImg> saver;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<BaseCamera> camera;
    ItemLayer* layer = nullptr;

    // A point-to-point line measured with two clicks at view x0 and x1.
    void measureLine(int x0, int x1) {
        MessagePassing::instance()->useMeasureTool(0);
        clickAt(layer, {x0, 100});
        clickAt(layer, {x1, 100});
    }

    QString templates() const { return QDir::current().absoluteFilePath("Template"); }
    QString wordTemplates() const { return AppPaths::appFile("WordTemplate"); }
    QString pictures() const { return QDir::current().absoluteFilePath("pictures"); }
    QString ini() const { return AppPaths::appFile("INI"); }

    static void writeTemplates(const QString& folder) {
        QSettings(folder + "/default.ini", QSettings::IniFormat).setValue("strList", QStringList({"x"}));
        {
            QSettings mine(folder + "/mine.ini", QSettings::IniFormat);
            mine.setValue("imagePos", QPoint(0, 2));
            mine.setValue("strList", QStringList({"old"}));
            mine.setValue("pos_0_UP", QPoint(0, 0));
        }
        QSettings list(folder + "/List.ini", QSettings::IniFormat);
        list.setValue("strList", QStringList({"default", "mine"}));
        list.setValue("curKey", "mine");
    }

    void calibrate() {
        scales->setState(CScaleContainer::Armed);
        scales->setKind(CScaleContainer::TwoPoints);
        scales->AddCalibrationPoint({100, 100});
        scales->AddCalibrationPoint({350, 100});
    }

    // The recent-picture list of the working folder with count pictures,
    // each of them on the disk outside it, under a long folder name: some
    // 150 bytes an entry.
    QString historyPicture(int i) const { return env->file(QString(100, 'h') + QString("/p%1.jpg").arg(i)); }
    void writeHistory(int count) {
        QVERIFY(QDir().mkpath(env->file(QString(100, 'h'))));
        QSettings list("./ImageHistory.ini", QSettings::IniFormat);
        for (int i = 0; i < count; ++i) {
            QFile picture(historyPicture(i));
            QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write("x") == 1);
            list.setValue(QString::number(i), historyPicture(i));
        }
        list.setValue("TotalCnt", count);
    }
    // The list holds exactly the pictures first..last, numbered from 0, then
    // picture `then` when it is not negative.
    bool historyHolds(const QString& file, int first, int last, int then = -1) const {
        QStringList expected;
        for (int i = first; i <= last; ++i)
            expected << historyPicture(i);
        if (then >= 0)
            expected << historyPicture(then);
        const QJsonObject r = readBack("ini", file)["General"].toObject();
        bool ok = r.size() == expected.size() + 1 && r["TotalCnt"].toString() == QString::number(expected.size());
        for (int i = 0; ok && i < expected.size(); ++i)
            ok = r[QString::number(i)].toString() == expected[i];
        return ok;
    }
    // Pages the list of pictures first..last (then `then`), numbered from 0,
    // takes as QSettings writes it: the pictures' paths lie in the temporary
    // folder, whose name may be long.
    int historyPages(int first, int last, int then = -1) const {
        QStringList lines{"[General]", QString("TotalCnt=%1").arg(last - first + 1 + (then >= 0))};
        for (int i = first; i <= last; ++i)
            lines << QString("%1=%2").arg(i - first).arg(historyPicture(i));
        if (then >= 0)
            lines << QString("%1=%2").arg(last - first + 1).arg(historyPicture(then));
        return (lines.join('\n').toUtf8().size() + 1 + 4095) / 4096;
    }
    void openCamera() {
        camera = std::make_unique<BaseCamera>();
        MessagePassing::instance()->setCurCamera(camera.get());
    }

    template <class Dialog> Dialog* editor() {
        auto* d = new Dialog;
        d->setAttribute(Qt::WA_DeleteOnClose);
        d->show();
        window.reset(d);
        return d;
    }

    // The user's action, then every box it shows answered. The editors save
    // a moment after the click and say so; a box from a worker thread comes
    // queued: the files are looked at only after that.
    static void actAndAnswer(const Writer& w, const QString& file, const ModalCatcher& catcher) {
        w.act();
        if (!w.successTitle.isEmpty())
            QTRY_VERIFY(!catcher.titles.isEmpty());
        else
            QTRY_VERIFY(catcher.titles.contains("Error") || w.whole(file));
        QTRY_VERIFY(!visibleBox());
    }

    QMap<QString, Writer> writers() {
        QMap<QString, Writer> w;
        const int ini = 6;
        w["xlsx template save"] = {templates(), "mine.ini", [this] { writeTemplates(templates()); },
                                   [this] {
                                       auto* d = editor<XlsEditDialog>();
                                       d->findChild<QTableWidget*>("tableWidget")->setItem(0, 0, new QTableWidgetItem("new"));
                                       d->findChild<QToolButton*>("btnSave")->click();
                                   },
                                   [](const QString& f) {
                                       return iniValue(readBack("ini", f), "General", "strList") == "new";
                                   },
                                   ini, "Success"};
        // Two pages, nearly all of it one value: a file cut inside it still
        // holds every key.
        const QString longText = QString("Corporate: ") + QString(7000, 'w');
        w["xlsx template save, two pages"] = {
            templates(),
            "mine.ini",
            [this] { writeTemplates(templates()); },
            [this, longText] {
                auto* d = editor<XlsEditDialog>();
                d->findChild<QTableWidget*>("tableWidget")->setItem(0, 0, new QTableWidgetItem(longText));
                d->findChild<QToolButton*>("btnSave")->click();
            },
            [longText](const QString& f) {
                return iniValue(readBack("ini", f), "General", "strList") == longText;
            },
            ini,
            "Success"};
        w["word template save"] = {wordTemplates(), "mine.ini", [this] { writeTemplates(wordTemplates()); },
                                   [this] {
                                       auto* d = editor<WordEditDialog>();
                                       for (QLineEdit* e : d->fields())
                                           e->setText("new");
                                       d->findChild<QToolButton*>("btnSave")->click();
                                   },
                                   [](const QString& f) {
                                       const QJsonObject r = readBack("ini", f);
                                       return r["General"].toObject().size() == 8 &&
                                              iniValue(r, "General", "%06") == "new";
                                   },
                                   ini, "Success"};
        w["add template"] = {templates(), "List.ini", [this] { writeTemplates(templates()); },
                             [this] { editor<XlsEditDialog>()->findChild<QToolButton*>("btnAddTemplate")->click(); },
                             [this](const QString& f) {
                                 // English fields in a new template when the program speaks English.
                                 return iniValue(readBack("ini", f), "General", "strList") ==
                                            "default, mine, template_1" &&
                                        iniValue(readBack("ini", templates() + "/template_1.ini"), "General",
                                                 "strList").startsWith("Corporate:");
                             },
                             ini};
        w["rename template"] = {templates(), "List.ini", [this] { writeTemplates(templates()); },
                                [this] { emit editor<XlsEditDialog>()->selectedEntry()->myReturnPressed("other"); },
                                [this](const QString& f) {
                                    return iniValue(readBack("ini", f), "General", "strList") == "default, other" &&
                                           QFile::exists(templates() + "/other.ini");
                                },
                                ini};
        w["export panel template choice"] = {templates(), "List.ini", [this] { writeTemplates(templates()); },
                                             [this] {
                                                 auto* panel = new XlsSet;
                                                 panel->show();
                                                 window.reset(panel);
                                                 panel->findChild<QComboBox*>("comboBox")->setCurrentIndex(0);
                                             },
                                             [](const QString& f) {
                                                 const QJsonObject r = readBack("ini", f);
                                                 return iniValue(r, "General", "curKey") == "default" &&
                                                        iniValue(r, "General", "strList") == "default, mine";
                                             },
                                             ini};
        const int picturePages = jpegPages() + 2;
        auto snapshot = [this] {
            saver = std::make_unique<ThreaSaveImg>();
            saver->setParams(pictures() + "/shot", 0, true, false, Qt::white, 3, 5, "UVCCamera");
            *saver->imageBuffer(320, 240, 3) = specimen();
            saver->start();
            QVERIFY(saver->wait(60000));
        };
        auto wholePicture = [](const QString& f) {
            const QJsonObject r = readBack("picture", f);
            return r["width"].toInt() > 0 && r["height"].toInt() > 0;
        };
        w["snapshot"] = {pictures(), "shot.jpg", [] {}, snapshot, wholePicture, picturePages};
        // A picture that took the snapshot's name meanwhile stays; the
        // snapshot moves on to the next name.
        w["snapshot at a name a picture took"] = {pictures(), "shot_001.jpg",
                                        [this] { QVERIFY(QImage(8, 8, QImage::Format_RGB888).save(pictures() + "/shot.jpg")); },
                                        snapshot,
                                        [this, wholePicture](const QString& f) {
                                            return wholePicture(f) && readBack("picture", pictures() + "/shot.jpg")["width"].toInt() == 8;
                                        },
                                        picturePages};
        w["stored lines"] = {this->ini(), "SINGLE_CROSSINFO.ini",
                             [this] {
                                 lines = std::make_unique<CCrossLineContainer>();
                                 lines->SetLineCount(1, true);
                             },
                             [this] { lines->SetLineCount(3, true); },
                             [](const QString& f) {
                                 const QJsonObject r = readBack("ini", f);
                                 return iniValue(r, "Camera_0", "HORSIZE") == "3" &&
                                        r["Camera_0"].toObject().contains("HOR_2_POS");
                             },
                             ini};
        w["measured lines"] = {this->ini(), "ECLP2P.ini",
                               [this] {
                                   QSettings(this->ini() + "/MeasureSet.ini", QSettings::IniFormat)
                                       .setValue("MeasureSet/LineSave", 0); // 0: measured lines are kept
                                   host = std::make_unique<QWidget>();
                                   host->resize(800, 400);
                                   RegisterMeasureShapes();
                                   layer = new ItemLayer(host.get());
                                   layer->init();
                                   layer->syncToVideoRect(QRect(0, 0, 1000, 500), QSize(2000, 1000));
                                   layer->readECLP2PData();
                                   measureLine(500, 600);
                               },
                               [this] { measureLine(300, 400); },
                               [](const QString& f) {
                                   const QJsonObject r = readBack("ini", f);
                                   return iniValue(r, "General", "total") == "2" &&
                                          r["General"].toObject().contains("ECLP2P_1");
                               },
                               ini};
        // The flat-field reference of the stitching panel: a BMP read back by PIL.
        QImage flat(400, 300, QImage::Format_RGB888);
        for (int y = 0; y < flat.height(); ++y)
            for (int x = 0; x < flat.width(); ++x)
                flat.setPixel(x, y, qRgb(100 + x / 4, 100 + y / 3, 120));
        const int flatPages = (400 * 300 + 1078 + 4095) / 4096 + 2; // 8-bit BMP with its palette
        w["flat-field reference"] = {AppPaths::appFile("pinjie"), "YinYingData.bmp",
                                     [this] {
                                         auto* form = new PinJieForm;
                                         window.reset(form);
                                     },
                                     [this, flat] { static_cast<PinJieForm*>(window.get())->pinJieYinYingImageSLOT(flat); },
                                     [](const QString& f) {
                                         const QJsonObject r = readBack("picture", f);
                                         return r["width"].toInt() == 400 && r["height"].toInt() == 300;
                                     },
                                     flatPages, "Finish"};
        // The recent-picture list and the lock password live in the working
        // folder: the small disk is made the working folder for them. A
        // camera opened keeps the newest fifty pictures, renumbered.
        const QString work = QDir::current().absoluteFilePath("work");
        w["recent list, camera opened"] = {work, "ImageHistory.ini",
                                           [this, work] {
                                               QDir::setCurrent(work);
                                               writeHistory(60);
                                           },
                                           [this] { openCamera(); },
                                           [this](const QString& f) { return historyHolds(f, 10, 59); },
                                           // The edit's copy of the old list, the new one beside
                                           // it and QSettings' lock file.
                                           historyPages(0, 59) + historyPages(10, 59) + 1};
        w["recent list, picture added"] = {work, "ImageHistory.ini",
                                           [this, work] {
                                               QDir::setCurrent(work);
                                               writeHistory(51);
                                               openCamera(); // 1..50 kept, as 0..49
                                           },
                                           [this] { MessagePassing::instance()->addImageHistory(historyPicture(0)); },
                                           [this](const QString& f) { return historyHolds(f, 1, 50, 0); },
                                           historyPages(1, 50) + historyPages(1, 50, 0) + 1};
        w["lock password"] = {work, "PasswordDialog.ini",
                              [this, work] {
                                  QDir::setCurrent(work);
                                  // A long password: the file takes a page of its own.
                                  QSettings("./PasswordDialog.ini", QSettings::IniFormat)
                                      .setValue("Password", QString(3000, 'o'));
                                  auto* dialog = new PasswordDialog;
                                  dialog->show();
                                  window.reset(dialog);
                                  dialog->findChild<QPushButton*>("pushButton")->click();
                                  dialog->findChild<QLineEdit*>("lineEdit")->setText(QString(3000, 'o'));
                                  dialog->findChild<QLineEdit*>("lineEdit_2")->setText(QString(3000, 'n'));
                                  dialog->findChild<QLineEdit*>("lineEdit_3")->setText(QString(3000, 'n'));
                              },
                              [this] { window->findChild<QPushButton*>("pushButton_2")->click(); },
                              [](const QString& f) {
                                  return iniValue(readBack("ini", f), "General", "Password") == QString(3000, 'n');
                              },
                              ini, QString(), "Password modified successfully! "};
        // The parameter lock, switched on after the (empty) password.
        w["parameter lock"] = {work, "CameraParaForm.ini",
                               [this, work] {
                                   QDir::setCurrent(work);
                                   QSettings("./CameraParaForm.ini", QSettings::IniFormat).setValue("isLock", false);
                                   window = std::make_unique<CameraParaForm>();
                               },
                               [this] {
                                   answerNextModal("PasswordDialog", [](QWidget* d) {
                                       d->findChild<QPushButton*>("pushButton_2")->click();
                                   });
                                   window->findChild<QCheckBox*>("checkBoxLock")->setChecked(true);
                               },
                               [](const QString& f) { return iniValue(readBack("ini", f), "General", "isLock") == "true"; },
                               ini};
        // Settings the panels store one by one: the snapshot size, a cross
        // line shown or hidden.
        w["snapshot size setting"] = {work, "CameraSet.ini",
                                      [this, work] {
                                          QDir::setCurrent(work);
                                          QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("imgSize", 1);
                                          window = std::make_unique<CameraSet>();
                                      },
                                      [this] { window->findChild<QComboBox*>("comboBoxSize")->setCurrentIndex(2); },
                                      [](const QString& f) { return iniValue(readBack("ini", f), "General", "imgSize") == "2"; },
                                      ini};
        w["cross lines hidden setting"] = {work, "LineFormSet.ini",
                                           [this, work] {
                                               QDir::setCurrent(work);
                                               QSettings("./LineFormSet.ini", QSettings::IniFormat).setValue("isHide", false);
                                               window = std::make_unique<LineForm>();
                                           },
                                           [this] { static_cast<LineForm*>(window.get())->hideCheckToggled(true); },
                                           [](const QString& f) { return iniValue(readBack("ini", f), "General", "isHide") == "true"; },
                                           ini};
        w["scale bar length"] = {work, "ScaleSet.ini",
                                 [this, work] {
                                     QDir::setCurrent(work);
                                     QSettings("./ScaleSet.ini", QSettings::IniFormat)
                                         .setValue("Camera_0_scl_1/ScaleLength", 100);
                                     auto* panel = new ScaleSet;
                                     window.reset(panel);
                                     panel->sendScaleInfoSLOT({"default", "mine"}, "mine");
                                 },
                                 [this] { window->findChild<QSpinBox*>("spinBox_ScaleLength")->setValue(250); },
                                 [](const QString& f) {
                                     return iniValue(readBack("ini", f), "Camera_0_scl_1", "ScaleLength") == "250";
                                 },
                                 ini};
        // A parameter set lands in the working folder: the small disk is made
        // the working folder for it.
        w["parameter set"] = {QDir::current().absoluteFilePath("work"), "Args_night.ini",
                              [this] {
                                  QDir::setCurrent(QDir::current().absoluteFilePath("work"));
                                  window = std::make_unique<CameraParaForm>();
                              },
                              [this] { static_cast<CameraParaForm*>(window.get())->argsNewSLOT("night"); },
                              [](const QString& f) {
                                  // Every slider and switch: keys 00 to 10 (hexadecimal).
                                  const QJsonObject r = readBack("ini", f)["General"].toObject();
                                  return r.size() == 17 && r.contains("%10");
                              },
                              ini};
        w["scales"] = {this->ini(), "SCALE_INFO.ini",
                       [this] {
                           CScaleContainer::setFilePath(this->ini() + "/SCALE_INFO.ini");
                           scales = std::make_unique<CScaleContainer>();
                           scales->ReadWriteIni(true);
                           calibrate();
                           QVERIFY(scales->AddScale("first", "mm", 2, 1.5, 100));
                       },
                       [this] {
                           calibrate();
                           scales->AddScale("second", "um", 3, 2.5, 100);
                       },
                       [](const QString& f) {
                           const QJsonObject r = readBack("ini", f);
                           return iniValue(r, "Camera_0_scl_0", "Name") == "first" &&
                                  iniValue(r, "Camera_0_scl_1", "Name") == "second";
                       },
                       ini};
        return w;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        MessagePassing::instance()->setLanguage(1);
    }
    void cleanup() {
        QCoreApplication::processEvents(); // nothing queued reaches the next case
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->deleteLater();
        window.reset();
        if (camera)
            MessagePassing::instance()->setCurCamera(nullptr);
        camera.reset();
        host.reset();
        layer = nullptr;
        lines.reset();
        scales.reset();
        saver.reset();
        env.reset();
    }

    void wholeOrUntouched_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("freePages");
        // Some rows' sizes follow the length of the temporary folder's paths.
        env = std::make_unique<TestEnv>();
        const QMap<QString, Writer> all = writers();
        env.reset();
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            for (int free = 0; free <= it->pages; ++free)
                QTest::newRow(qPrintable(QString("%1, %2 free").arg(it.key()).arg(free))) << it.key() << free;
    }

    void wholeOrUntouched() {
        QFETCH(QString, writer);
        QFETCH(int, freePages);
        const Writer w = writers()[writer];
        TmpfsMount disk(w.folder, "size=1m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        w.prepare();
        const QString file = w.folder + "/" + w.file;
        const QByteArray before = bytesOf(file);
        QVERIFY(disk.leaveFree("filler", freePages));
        const QStringList entries = QDir(w.folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        ModalCatcher catcher;
        actAndAnswer(w, file, catcher);
        if (QTest::currentTestFailed())
            return;
        const bool failed = catcher.titles.contains("Error");
        if (failed) {
            QCOMPARE(bytesOf(file), before);
            QVERIFY2(w.successTitle.isEmpty() || !catcher.titles.contains(w.successTitle),
                     qPrintable(catcher.texts.join(" | ")));
            QVERIFY2(w.successText.isEmpty() || !catcher.texts.contains(w.successText),
                     qPrintable(catcher.texts.join(" | ")));
            const QString error = catcher.texts[catcher.titles.indexOf("Error")];
            QVERIFY2(error.contains("The disk is full: " + w.folder), qPrintable(error));
            // Nothing half-written left beside it.
            QCOMPARE(QDir(w.folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
        } else {
            QVERIFY2(w.whole(file), qPrintable(QString("cut and called saved: %1 bytes, the reader says %2")
                                                   .arg(QFileInfo(file).size())
                                                   .arg(QString::fromUtf8(QJsonDocument(readBack(
                                                        w.file.endsWith(".ini") ? "ini" : "picture", file)).toJson(QJsonDocument::Compact)))));
            if (!w.successTitle.isEmpty())
                QVERIFY(catcher.titles.contains(w.successTitle));
            if (!w.successText.isEmpty())
                QVERIFY2(catcher.texts.contains(w.successText), qPrintable(catcher.texts.join(" | ")));
        }
        if (freePages == w.pages)
            QVERIFY2(!failed, "the write must succeed with room enough");
        window.reset();
        QDir::setCurrent(env->path());
    }

    // A settings file with a damaged line (what an editor, a crash or a
    // stray paste leaves) is rewritten whole by each writer of it, its
    // readable keys kept; the export panel shows the template it stored.
    void damagedFilesStayEditable_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("damage");
        for (const char* writer :
             {"export panel template choice", "add template", "xlsx template save", "scales"})
            for (const char* damage :
                 {"stray line", "unclosed section", "NUL-filled tail", "random bytes", "byte-order mark"})
                QTest::newRow(qPrintable(QString("%1, %2").arg(writer, damage))) << writer << damage;
    }
    void damagedFilesStayEditable() {
        QFETCH(QString, writer);
        QFETCH(QString, damage);
        const Writer w = writers()[writer];
        QVERIFY(QDir().mkpath(w.folder));
        w.prepare();
        const QString file = w.folder + "/" + w.file;
        QByteArray bytes = bytesOf(file);
        QByteArray noise;
        quint32 seed = 5;
        for (int i = 0; i < 300; ++i) {
            seed = seed * 1664525u + 1013904223u;
            noise += char(seed >> 24);
        }
        if (damage == "byte-order mark")
            bytes.prepend("\xEF\xBB\xBF");
        else
            bytes += damage == "stray line"         ? QByteArray("stray line\n")
                     : damage == "unclosed section" ? QByteArray("[General\n")
                     : damage == "NUL-filled tail"  ? QByteArray(4096, '\0')
                                                    : noise;
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        ModalCatcher catcher;
        actAndAnswer(w, file, catcher);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!catcher.titles.contains("Error"), qPrintable(catcher.texts.join(" | ")));
        QVERIFY(w.whole(file));
        if (writer.contains("choice"))
            QCOMPARE(window->findChild<QComboBox*>("comboBox")->currentText(),
                     iniValue(readBack("ini", templates() + "/List.ini"), "General", "curKey"));
    }

    // The reports on nearly full disks: the Excel workbook with its picture,
    // its parts built in the temporary folder as a small disk of its own, or
    // written to a small export disk, or moved by a manual name to another
    // small disk; and the Word report. At every level the report is whole
    // with its picture, or the box names the full disk (the temporary one
    // when the parts found no room) and an older report stays as it was.
    void reportsWholeOrRefused_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("freeKiB"); // -1: the small disk left empty
        for (const char* writer :
             {"xlsx, temporary disk", "xlsx, export disk", "xlsx moved to another disk", "word"})
            for (int free :
                 {0, 8, 32, 64, 128, 256, 384, 512, 640, 768, 896, 1024, 1280, 1536, 2048, 3072, -1})
                QTest::newRow(qPrintable(QString("%1, %2 KiB free").arg(writer).arg(free))) << writer << free;
    }
    void reportsWholeOrRefused() {
        QFETCH(QString, writer);
        QFETCH(int, freeKiB);
        const bool word = writer == "word", moved = writer.contains("moved");
        const QString exportFolder = env->file("export"), chosen = env->file("other/chosen.xlsx");
        TmpfsMount disk(writer.contains("temporary") ? env->file("temp")
                        : moved                      ? env->file("other")
                                                     : exportFolder,
                        "size=4m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        QVERIFY(QDir().mkpath(exportFolder) && QDir().mkpath(env->file("other")));
        QVERIFY(QDir().mkpath(env->file("temp")));
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(env->file("temp")));
        const std::shared_ptr<void> restoreTemp(nullptr, [oldTemp](void*) {
            if (oldTemp.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", oldTemp);
        });
        {
            QSettings set("./XlsSet.ini", QSettings::IniFormat);
            set.setValue("isExport", true);
            set.setValue("isAutoName", !moved);
            set.setValue("xlsPath", exportFolder);
        }
        if (moved) {
            QFile older(chosen);
            QVERIFY(older.open(QIODevice::WriteOnly));
            older.write("the older report");
        }
        host = std::make_unique<QWidget>();
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        MessagePassing* hub = MessagePassing::instance();
        hub->setIsCameraMode(false);
        // The still view's side: the picture is written, then announced.
        QByteArray picture;
        auto still =
            connect(hub, &MessagePassing::snapImageModeSIGNAL, this, [&](QString path, QString suffix, int) {
                // Larger than the workbook's other parts (some 800 KB).
                QVERIFY(noisePicture(640, 480, 3).save(path + "." + suffix, "jpg", 100));
                picture = bytesOf(path + "." + suffix);
                QMetaObject::invokeMethod(
                    hub, [hub] { emit hub->exportImageSIGNAL(); }, Qt::QueuedConnection);
            });
        if (freeKiB >= 0)
            QVERIFY(disk.leaveFree("filler", freeKiB / 4));
        const QStringList entries =
            QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        ModalCatcher catcher;
        catcher.fileAnswer = chosen;
        OpenedFiles opened;
        auto* panel = new XlsSet;
        panel->show();
        window.reset(panel);
        panel->findChild<QToolButton*>(word ? "btnWordExport" : "btnExcelExport")->click();
        QTRY_VERIFY(catcher.titles.contains("Error") || !opened.paths.isEmpty());
        QTRY_VERIFY(!visibleBox());
        disconnect(still);
        if (catcher.titles.contains("Error")) {
            const QString error = catcher.texts[catcher.titles.indexOf("Error")];
            const QString expected = writer.contains("temporary")
                                         ? "The disk of the temporary folder is full: "
                                         : "The disk is full: ";
            QVERIFY2(error == "Export failed!\n" + expected + disk.path(), qPrintable(error));
            QVERIFY(opened.paths.isEmpty());
            if (moved)
                QCOMPARE(bytesOf(chosen), QByteArray("the older report"));
            else
                QCOMPARE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                         entries);
        } else {
            QCOMPARE(opened.paths.size(), 1);
            const QString report = opened.paths[0];
            if (word) {
                const QByteArray doc = bytesOf(report);
                QVERIFY(doc.endsWith("</html>\n") && doc.contains(picture.toBase64()));
            } else {
                // Whole, and holding the picture byte for byte.
                QProcess unzip;
                unzip.start("unzip", {"-p", report, "xl/media/image1.jpg"});
                QVERIFY(unzip.waitForFinished(60000));
                QVERIFY2(
                    unzip.exitCode() == 0 && unzip.readAllStandardOutput() == picture,
                    qPrintable(
                        QString("a workbook of %1 bytes without its picture").arg(QFileInfo(report).size())));
            }
            if (moved)
                QCOMPARE(report, chosen);
        }
        if (freeKiB < 0)
            QVERIFY2(!catcher.titles.contains("Error"), qPrintable(catcher.texts.join(" | ")));
        window.reset();
    }
};

QTEST_MAIN(FullDiskSavesTest)
#include "tst_full_disk_saves.moc"
