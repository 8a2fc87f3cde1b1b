#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTextStream>
#include <QtTest>

#include <functional>
#include <memory>

// The hub: its signal table is a contract that every panel connects to by
// signature text, so names, parameter types and order are checked against
// the table kept beside this test. The forwarders are one line each; a few,
// one per kind of argument, show that arguments arrive unchanged.
class TestMessagePassing : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private slots:
    void initTestCase();
    void signalTableMatches();
    void everyEmitterEmitsItsSignal();
    void wordReportSignalFillsCallersString();
    void exportFoldersCreated();
    void setters();
    void styleSheets();
    void borderImagesHoldTheirSlices();
    void lineEditsShowWholeLetters();
};

struct EmitCase {
    const char* signal;
    std::function<void()> call;
    QVariantList expected;
};

void TestMessagePassing::initTestCase() {
    env = std::make_unique<TestEnv>();
    // A flat-field picture of grey 150 must load as a gain of 1.5.
    QDir().mkpath(env->file("pinjie"));
    QImage grey(8, 4, QImage::Format_Grayscale8);
    grey.fill(150);
    QVERIFY(grey.save(env->file("pinjie/YinYingData.bmp")));
    QDir().mkpath(env->file("Export/Image"));
    QFile keep(env->file("Export/Image/keep.txt"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("x");
    keep.close();

    MessagePassing* hub = MessagePassing::instance();
    QVERIFY(hub->hasYinYing);
    QCOMPARE(hub->yinYingMat.rows, 4);
    QCOMPARE(hub->yinYingMat.cols, 8);
    QCOMPARE(hub->yinYingMat.type(), CV_32FC1);
    QVERIFY(qAbs(hub->yinYingMat.at<float>(2, 5) - 1.5f) < 1e-6f);
}

void TestMessagePassing::signalTableMatches() {
    QFile table(QString::fromUtf8(qgetenv("SEVRIN_SOURCE_DIR")) + "/tests/app/hub/hub_signals.txt");
    QVERIFY2(table.open(QIODevice::ReadOnly), "hub_signals.txt not found");
    QTextStream in(&table);
    QStringList expected;
    while (!in.atEnd()) {
        const QStringList cols = in.readLine().split('|');
        if (cols.size() < 3)
            continue;
        QStringList types;
        for (const QString& p : cols[2].split(',', Qt::SkipEmptyParts)) {
            QStringList toks = p.trimmed().split(' ');
            if (toks.size() >= 2 && !toks.last().endsWith('>'))
                toks.removeLast();
            types << toks.join(' ').remove(' ');
        }
        expected << cols[1] + "(" + types.join(',') + ")";
    }
    QCOMPARE(expected.size(), 126);

    const QMetaObject* mo = &MessagePassing::staticMetaObject;
    QStringList signalList, slotList;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal)
            signalList << QString::fromLatin1(m.methodSignature());
        else if (m.methodType() == QMetaMethod::Slot)
            slotList << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(signalList, expected);
    QCOMPARE(slotList, QStringList({"GunReturn()", "GunRestart()"}));
    // The slots follow the signals in method order.
    QCOMPARE(mo->indexOfSlot("GunReturn()") - mo->methodOffset(), 126);
    QCOMPARE(mo->indexOfSlot("GunRestart()") - mo->methodOffset(), 127);
}

void TestMessagePassing::everyEmitterEmitsItsSignal() {
    MessagePassing* hub = MessagePassing::instance();
    const QList<EmitCase> cases = {
        {"quitFullScreenSIGNAL", [hub] { hub->quitFullScreen(); }, {}},
        {"wheelEventAddSIGNAL", [hub] { hub->wheelEventAdd(QPoint(3, 4)); }, {QVariant::fromValue<QPoint>(QPoint(3, 4))}},
        {"sendScaleInfoSIGNAL", [hub] { hub->sendScaleInfo(QList<QString>{"a", "b"}, QString("s")); }, {QVariant::fromValue<QList<QString>>(QList<QString>{"a", "b"}), QVariant::fromValue<QString>(QString("s"))}},
        {"pinJieImageSIGNAL", [hub] { hub->pinJieImage(QImage(2, 2, QImage::Format_RGB32)); }, {QVariant::fromValue<QImage>(QImage(2, 2, QImage::Format_RGB32))}},
        {"setCrossLineInfoSIGNAL", [hub] { hub->setCrossLineInfo(7, true, 1.5f, 2.5f, QColor(Qt::blue), false, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<bool>(true), QVariant::fromValue<float>(1.5f), QVariant::fromValue<float>(2.5f), QVariant::fromValue<QColor>(QColor(Qt::blue)), QVariant::fromValue<bool>(false), QVariant::fromValue<bool>(true)}},
        {"setCrossLineDatumSIGNAL", [hub] { hub->setCrossLineDatum(7, 2.5, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<double>(2.5), QVariant::fromValue<bool>(true)}},
        {"XlsSet_comboCurrentIndexChangedSIGNAL", [hub] { hub->XlsSet_comboCurrentIndexChanged(static_cast<QObject*>(hub), 7); }, {QVariant::fromValue<QObject*>(static_cast<QObject*>(hub)), QVariant::fromValue<int>(7)}},
        {"updateMeasureDataSignal", [hub] { hub->updateMeasureData(3, 5, QList<QString>{"a", "b"}, QList<QString>{"c"}); }, {QVariant::fromValue<int>(3), QVariant::fromValue<int>(5), QVariant::fromValue<QList<QString>>(QList<QString>{"a", "b"}), QVariant::fromValue<QList<QString>>(QList<QString>{"c"})}},
        {"sig_setScaleLength", [hub] { hub->setScaleLength(7); }, {QVariant::fromValue<int>(7)}},
    };
    for (const EmitCase& c : cases) {
        const QMetaObject* mo = hub->metaObject();
        int index = -1;
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            if (mo->method(i).name() == c.signal)
                index = i;
        QVERIFY2(index >= 0, c.signal);
        QSignalSpy spy(hub, mo->method(index));
        c.call();
        QVERIFY2(spy.count() == 1, c.signal);
        const QList<QVariant> args = spy.first();
        QVERIFY2(args.size() == c.expected.size(), c.signal);
        for (int i = 0; i < args.size(); ++i) {
            if (c.expected[i].userType() == qMetaTypeId<QImage>())
                QVERIFY2(args[i].value<QImage>().size() == QSize(2, 2), c.signal);
            else if (c.expected[i].userType() == qMetaTypeId<QList<QString>>())
                QVERIFY2(args[i].value<QList<QString>>() == c.expected[i].value<QList<QString>>(), c.signal);
            else if (c.expected[i].userType() == qMetaTypeId<QObject*>())
                QVERIFY2(args[i].value<QObject*>() == hub, c.signal);
            else
                QVERIFY2(args[i] == c.expected[i], c.signal);
        }
    }
}

void TestMessagePassing::wordReportSignalFillsCallersString() {
    // The report receiver fills the caller's string through the reference.
    MessagePassing* hub = MessagePassing::instance();
    QObject receiver;
    connect(hub, &MessagePassing::getAllMeasureDataWordSIGNAL, &receiver,
            [](QString& html, QString image) { html = "<p>" + image + "</p>"; });
    QString html;
    hub->getAllMeasureDataWord(html, "pic.jpg");
    QCOMPARE(html, QString("<p>pic.jpg</p>"));
}

void TestMessagePassing::exportFoldersCreated() {
    for (const char* sub : {"Export", "Export/Image", "Export/Video", "Export/File"})
        QVERIFY2(QDir(env->file(sub)).exists(), sub);
    // An existing folder is left alone.
    QVERIFY(QFile::exists(env->file("Export/Image/keep.txt")));
}

void TestMessagePassing::setters() {
    MessagePassing* hub = MessagePassing::instance();
    QSignalSpy edit(hub, &MessagePassing::setEditImageSIGNAL);
    hub->setEditImage("/tmp/a.jpg"); // no camera open: ignored
    QCOMPARE(edit.count(), 0);
    QVERIFY(hub->getEditImagePath().isEmpty());

    QSignalSpy nullCam(hub, &MessagePassing::setCurCameraNULLSIGNAL);
    hub->setCurCamera(nullptr);
    QCOMPARE(nullCam.count(), 1);
    QVERIFY(!QFile::exists("./ImageHistory.ini"));

    hub->GunStop();
    QVERIFY(!hub->isGunCapture());
    hub->setGunMode(0);
    QVERIFY(!hub->isGunCapture());
    hub->setGunMode(2);
    QVERIFY(hub->isGunCapture());
    QVERIFY(hub->isGunMode());
    hub->setGunMode(0);

    QSignalSpy lang(hub, &MessagePassing::changeLanguageSIGNAL);
    hub->setLanguage(1);
    QCOMPARE(hub->language(), 1);
    hub->setLanguage(7); // out of range: treated as simplified Chinese
    QCOMPARE(hub->language(), 0);
    QCOMPARE(lang.count(), 2);
    QCOMPARE(lang.last().first().toInt(), 0);
}

void TestMessagePassing::styleSheets() {
    MessagePassing* hub = MessagePassing::instance();
    uiSizeFactor = 10;
    QVERIFY(hub->getQCheckBoxStyle().contains("width:20px;height:20px"));
    QVERIFY(hub->getQComboBoxStyle().contains(":/res/editBg_10.png"));
    QVERIFY(hub->getQComboBoxStyle().contains(":/res/dropDown_10.png"));
    QVERIFY(hub->getQSliderStyle().contains(":/res/slider_10.png) 9 9 9 9"));
    QVERIFY(hub->getQSliderStyle().contains("margin-left:-9px"));
    uiSizeFactor = 14;
    QVERIFY(hub->getQCheckBoxStyle().contains("width:28px;height:28px"));
    QVERIFY(hub->getQSliderStyle().contains(":/res/slider_14.png) 13 13 13 13"));
    uiSizeFactor = 20;
    QVERIFY(hub->getQRadioButtonStyle().contains("width:40px;height:40px"));
    QVERIFY(hub->getQRadioButtonStyle().contains(":/res/CameraForm/radio_on.png"));
    QVERIFY(hub->getQLineEditStyle().contains(":/res/editBg_20.png"));
    QVERIFY(hub->getQSpinBoxStyle().startsWith("QAbstractSpinBox{border-image:url(:/res/editBg_20.png)"));
    QVERIFY(hub->getQPushButtonStyle().contains(":/res/btnBG_20.png"));
    QVERIFY(hub->getQToolButtonStyle().contains("QToolButton:checked{border-image:url(:/res/btnBGS_20.png)"));
    QVERIFY(hub->getQSliderStyle().contains("border-width:20;"));
    QVERIFY(hub->getQSliderStyle().contains(":/res/slider_handle_20.png"));
    uiSizeFactor = 10;
}

// A border image is cut into nine pieces by its slices; a picture smaller
// than its slices has no middle and is painted from outside its pixels.
void TestMessagePassing::borderImagesHoldTheirSlices() {
    sevrinInitResources();
    MessagePassing* hub = MessagePassing::instance();
    const QRegularExpression rule(R"(border-image:url\(([^)]+)\)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+))");
    for (int factor : {10, 12, 14, 16, 18, 20}) {
        uiSizeFactor = factor;
        const QStringList styles = {hub->getQCheckBoxStyle(), hub->getQRadioButtonStyle(), hub->getQComboBoxStyle(),
                                    hub->getQLineEditStyle(),  hub->getQSpinBoxStyle(),     hub->getQPushButtonStyle(),
                                    hub->getQToolButtonStyle(), hub->getQSliderStyle()};
        for (const QString& style : styles) {
            auto it = rule.globalMatch(style);
            QVERIFY(it.hasNext());
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                const QImage picture(m.captured(1));
                const QString what = QString("%1 at factor %2").arg(m.captured(1)).arg(factor);
                QVERIFY2(!picture.isNull(), qPrintable(what));
                const int top = m.captured(2).toInt(), right = m.captured(3).toInt();
                const int bottom = m.captured(4).toInt(), left = m.captured(5).toInt();
                QVERIFY2(picture.width() > left + right, qPrintable(what + " is too narrow for its slices"));
                QVERIFY2(picture.height() > top + bottom, qPrintable(what + " is too low for its slices"));
            }
        }
    }
    uiSizeFactor = 10;
}

// "g", "p" and "_" keep their descenders in a line edit of the panels'
// height (24 at factor 10): the ink of the text drawn by the edit equals
// the ink of the same text drawn freely.
void TestMessagePassing::lineEditsShowWholeLetters() {
    sevrinInitResources();
    MessagePassing* hub = MessagePassing::instance();
    const QString text = "spec_gjpqy";
    auto ink = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += qGray(img.pixel(x, y)) < 100;
        return n;
    };
    for (int factor : {10, 14, 20}) {
        uiSizeFactor = factor;
        QFont font = QApplication::font();
        font.setPixelSize(fontPixelSizeForFactor(factor));
        QImage free(40 * factor, 10 * factor, QImage::Format_RGB32);
        free.fill(Qt::white);
        {
            QPainter p(&free);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QPoint(2 * factor, 5 * factor), text);
        }
        QLineEdit edit;
        edit.setFont(font);
        edit.setFixedSize(factor * 40, factor * 24 / 10);
        edit.setStyleSheet(hub->getQLineEditStyle());
        edit.setText(text);
        edit.setCursorPosition(0);
        const QImage shown = edit.grab().toImage();
        const int expected = ink(free);
        QVERIFY(expected > 0);
        QVERIFY2(ink(shown) >= expected * 97 / 100,
                 qPrintable(QString("factor %1: %2 of %3 dark pixels shown").arg(factor).arg(ink(shown)).arg(expected)));
    }
    uiSizeFactor = 10;
}

QTEST_MAIN(TestMessagePassing)
#include "tst_message_passing.moc"
