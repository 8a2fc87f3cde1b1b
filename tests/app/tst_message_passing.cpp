#include "app/MessagePassing.h"
#include "app/UiSize.h"
#include "tests/support/TestEnv.h"

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
// the table kept beside this test.
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
    QFile table(QString::fromUtf8(qgetenv("SEVRIN_SOURCE_DIR")) + "/tests/app/hub_signals.txt");
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
        {"wheelEventSubSIGNAL", [hub] { hub->wheelEventSub(QPoint(3, 4)); }, {QVariant::fromValue<QPoint>(QPoint(3, 4))}},
        {"snapCtrlQSIGNAL", [hub] { hub->snapCtrlQ(); }, {}},
        {"initImageScaleIndexSIGNAL", [hub] { hub->initImageScaleIndex(7); }, {QVariant::fromValue<int>(7)}},
        {"initImgEffectSIGNAL", [hub] { hub->initImgEffect(); }, {}},
        {"syncRGBGainSINGAL", [hub] { hub->syncRGBGain(); }, {}},
        {"syncExposureSINGAL", [hub] { hub->syncExposure(); }, {}},
        {"useMeasureToolSIGNAL", [hub] { hub->useMeasureTool(7); }, {QVariant::fromValue<int>(7)}},
        {"setAutoEdgeStateSIGNAL", [hub] { hub->setAutoEdgeState(true); }, {QVariant::fromValue<bool>(true)}},
        {"setMeasurePenSizeSIGNAL", [hub] { hub->setMeasurePenSize(7); }, {QVariant::fromValue<int>(7)}},
        {"sig_setMeasureScaleLength", [hub] { hub->setMeasureScaleLength(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureFontSizeSIGNAL", [hub] { hub->setMeasureFontSize(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureChiSizeSIGNAL", [hub] { hub->setMeasureChiSize(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureAutoEdgeSIGNAL", [hub] { hub->setMeasureAutoEdge(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureItemColorSIGNAL", [hub] { hub->setMeasureItemColor(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureChiColorSIGNAL", [hub] { hub->setMeasureChiColor(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureModeSIGNAL", [hub] { hub->setMeasureMode(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureMouseSizeSIGNAL", [hub] { hub->setMeasureMouseSize(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureFontColorSIGNAL", [hub] { hub->setMeasureFontColor(7); }, {QVariant::fromValue<int>(7)}},
        {"sendScaleInfoSIGNAL", [hub] { hub->sendScaleInfo(QList<QString>{"a", "b"}, QString("s")); }, {QVariant::fromValue<QList<QString>>(QList<QString>{"a", "b"}), QVariant::fromValue<QString>(QString("s"))}},
        {"setCurScaleNameSIGNAL", [hub] { hub->setCurScaleName(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"scaleUnitChangedSIGNAL", [hub] { hub->scaleUnitChanged(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"scaleBitsChangedSIGNAL", [hub] { hub->scaleBitsChanged(7); }, {QVariant::fromValue<int>(7)}},
        {"delScaleNameSIGNAL", [hub] { hub->delScaleName(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"setScaleUnitSIGNAL", [hub] { hub->setScaleUnit(QString("s"), 7); }, {QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<int>(7)}},
        {"startAddScaleSIGNAL", [hub] { hub->startAddScale(); }, {}},
        {"startAddCircleScaleSIGNAL", [hub] { hub->startAddCircleScale(); }, {}},
        {"startParallelScaleSIGNAL", [hub] { hub->startParallelScale(); }, {}},
        {"bewriteTextUpdateSIGNAL", [hub] { hub->bewriteTextUpdate(true, QPoint(3, 4), QString("s")); }, {QVariant::fromValue<bool>(true), QVariant::fromValue<QPoint>(QPoint(3, 4)), QVariant::fromValue<QString>(QString("s"))}},
        {"snapImageModeSIGNAL", [hub] { hub->snapImageMode(QString("s"), QString("s"), 7); }, {QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<int>(7)}},
        {"pinJieImageSIGNAL", [hub] { hub->pinJieImage(QImage(2, 2, QImage::Format_RGB32)); }, {QVariant::fromValue<QImage>(QImage(2, 2, QImage::Format_RGB32))}},
        {"pinJieYinYingImageSIGNAL", [hub] { hub->pinJieYinYingImage(QImage(2, 2, QImage::Format_RGB32)); }, {QVariant::fromValue<QImage>(QImage(2, 2, QImage::Format_RGB32))}},
        {"jingShenImageSIGNAL", [hub] { hub->jingShenImage(QImage(2, 2, QImage::Format_RGB32)); }, {QVariant::fromValue<QImage>(QImage(2, 2, QImage::Format_RGB32))}},
        {"snapJingShenBeginSIGNAL", [hub] { hub->snapJingShenBegin(); }, {}},
        {"addIconCameraSIGNAL", [hub] { hub->addIconCamera(); }, {}},
        {"addIconAWBSIGNAL", [hub] { hub->addIconAWB(); }, {}},
        {"removeIconAWBSIGNAL", [hub] { hub->removeIconAWB(); }, {}},
        {"removeIconCameraSIGNAL", [hub] { hub->removeIconCamera(); }, {}},
        {"saveImageByFileDialogSIGNAL", [hub] { hub->saveImageByFileDialog(QImage(2, 2, QImage::Format_RGB32), QString("s"), true, true); }, {QVariant::fromValue<QImage>(QImage(2, 2, QImage::Format_RGB32)), QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<bool>(true), QVariant::fromValue<bool>(true)}},
        {"getAllMeasureDataSIGNAL", [hub] { hub->getAllMeasureData(QString("s"), QString("s")); }, {QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<QString>(QString("s"))}},
        {"changeFenBianLv1080pSIGNAL", [hub] { hub->changeFenBianLv1080p(7); }, {QVariant::fromValue<int>(7)}},
        {"changeFenBianLv1080pFinishSIGNAL", [hub] { hub->changeFenBianLv1080pFinish(7); }, {QVariant::fromValue<int>(7)}},
        {"changeFenBianLv1080pReturnSIGNAL", [hub] { hub->changeFenBianLv1080pReturn(7); }, {QVariant::fromValue<int>(7)}},
        {"changeFenBianLv1080pReturnFinishSIGNAL", [hub] { hub->changeFenBianLv1080pReturnFinish(7); }, {QVariant::fromValue<int>(7)}},
        {"goOutPinJieSIGNAL", [hub] { hub->goOutPinJie(); }, {}},
        {"goOutJingShenSIGNAL", [hub] { hub->goOutJingShen(); }, {}},
        {"goOutJingShenHighSIGNAL", [hub] { hub->goOutJingShenHigh(); }, {}},
        {"OzaFreashWholeSysSIGNAL", [hub] { hub->OzaFreashWholeSys(); }, {}},
        {"setIsCanMoveItemSIGNAL", [hub] { hub->setIsCanMoveItem(true); }, {QVariant::fromValue<bool>(true)}},
        {"ForceSliderSIGNAL", [hub] { hub->ForceSlider(); }, {}},
        {"changeResolutionSIGNAL", [hub] { hub->changeResolution(); }, {}},
        {"setPlottingScalVisibleSIGNAL", [hub] { hub->setPlottingScalVisible(true); }, {QVariant::fromValue<bool>(true)}},
        {"setLineNumSIGNAL", [hub] { hub->setLineNum(7, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<bool>(true)}},
        {"removeAllLineSIGNAL", [hub] { hub->removeAllLine(); }, {}},
        {"setLineVisibleSIGNAL", [hub] { hub->setLineVisible(true); }, {QVariant::fromValue<bool>(true)}},
        {"setLineColorSIGNAL", [hub] { hub->setLineColor(7); }, {QVariant::fromValue<int>(7)}},
        {"setCrossLineInfoSIGNAL", [hub] { hub->setCrossLineInfo(7, true, 1.5f, 1.5f, QColor(Qt::blue), true, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<bool>(true), QVariant::fromValue<float>(1.5f), QVariant::fromValue<float>(1.5f), QVariant::fromValue<QColor>(QColor(Qt::blue)), QVariant::fromValue<bool>(true), QVariant::fromValue<bool>(true)}},
        {"delCrossLineSIGNAL", [hub] { hub->delCrossLine(7, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<bool>(true)}},
        {"setCrossLineDatumSIGNAL", [hub] { hub->setCrossLineDatum(7, 2.5, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<double>(2.5), QVariant::fromValue<bool>(true)}},
        {"getCrossLineNumSIGNAL", [hub] { hub->getCrossLineNum(); }, {}},
        {"sendCrossLineInfoSIGNAL", [hub] { hub->sendCrossLineInfo(7, 7, QColor(Qt::blue)); }, {QVariant::fromValue<int>(7), QVariant::fromValue<int>(7), QVariant::fromValue<QColor>(QColor(Qt::blue))}},
        {"setTenVisibleSIGNAL", [hub] { hub->setTenVisible(true); }, {QVariant::fromValue<bool>(true)}},
        {"setTenColorScaleSIGNAL", [hub] { hub->setTenColorScale(QColor(Qt::blue), true); }, {QVariant::fromValue<QColor>(QColor(Qt::blue)), QVariant::fromValue<bool>(true)}},
        {"setTenCenterSIGNAL", [hub] { hub->setTenCenter(true); }, {QVariant::fromValue<bool>(true)}},
        {"setEditImageOKSIGNAL", [hub] { hub->setEditImageOK(); }, {}},
        {"XlsSet_rbtnAUTOToggleSIGNAL", [hub] { hub->XlsSet_rbtnAUTOToggle(true); }, {QVariant::fromValue<bool>(true)}},
        {"XlsSet_rbtnExportToggleSIGNAL", [hub] { hub->XlsSet_rbtnExportToggle(true); }, {QVariant::fromValue<bool>(true)}},
        {"XlsSet_btnPathClickSIGNAL", [hub] { hub->XlsSet_btnPathClick(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"XlsEditDialogCloseSIGNAL", [hub] { hub->XlsEditDialogClose(); }, {}},
        {"XlsSet_comboCurrentIndexChangedSIGNAL", [hub] { hub->XlsSet_comboCurrentIndexChanged(static_cast<QObject*>(hub), 7); }, {QVariant::fromValue<QObject*>(static_cast<QObject*>(hub)), QVariant::fromValue<int>(7)}},
        {"argsNewSIGNAL", [hub] { hub->argsNew(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"argsDelSIGNAL", [hub] { hub->argsDel(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"argsLoadSIGNAL", [hub] { hub->argsLoad(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"WordEditDialogCloseSIGNAL", [hub] { hub->WordEditDialogClose(); }, {}},
        {"restartCameraSIGNAL", [hub] { hub->restartCamera(); }, {}},
        {"updateMeasureDataSignal", [hub] { hub->updateMeasureData(7, 7, QList<QString>{"a", "b"}, QList<QString>{"a", "b"}); }, {QVariant::fromValue<int>(7), QVariant::fromValue<int>(7), QVariant::fromValue<QList<QString>>(QList<QString>{"a", "b"}), QVariant::fromValue<QList<QString>>(QList<QString>{"a", "b"})}},
        {"selectItemFromIndexSignal", [hub] { hub->selectItemFromIndex(7); }, {QVariant::fromValue<int>(7)}},
        {"setMeasureItemDataSignal", [hub] { hub->setMeasureItemData(7, 7, 2.5, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<int>(7), QVariant::fromValue<double>(2.5), QVariant::fromValue<bool>(true)}},
        {"renewScrollBarSignal", [hub] { hub->renewScrollBar(); }, {}},
        {"setCrossLineDataSIGNAL", [hub] { hub->setCrossLineData(7, true, 1.5f, 1.5f, QColor(Qt::blue), true, true); }, {QVariant::fromValue<int>(7), QVariant::fromValue<bool>(true), QVariant::fromValue<float>(1.5f), QVariant::fromValue<float>(1.5f), QVariant::fromValue<QColor>(QColor(Qt::blue)), QVariant::fromValue<bool>(true), QVariant::fromValue<bool>(true)}},
        {"paintAFSIGNAL", [hub] { hub->paintAF(); }, {}},
        {"btnScaleOKSIGNAL", [hub] { hub->btnScaleOK(); }, {}},
        {"checkBoxGunToggleSIGNAL", [hub] { hub->checkBoxGunToggle(true); }, {QVariant::fromValue<bool>(true)}},
        {"selectSnapHistoryLastSIGNAL", [hub] { hub->selectSnapHistoryLast(); }, {}},
        {"setThreadAVPacketFinishSIGNAL", [hub] { hub->setThreadAVPacketFinish(); }, {}},
        {"WFRenewDataSIGNAL", [hub] { hub->WFRenewData(true); }, {QVariant::fromValue<bool>(true)}},
        {"sendSerialPortNameSIGNAL", [hub] { hub->sendSerialPortName(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"recvSerialPortNameSIGNAL", [hub] { hub->recvSerialPortName(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"createRulerInfoSIGNAL", [hub] { hub->createRulerInfo(QString("s")); }, {QVariant::fromValue<QString>(QString("s"))}},
        {"setOverlayImageSIGNAL", [hub] { hub->setOverlayImage(QString("s"), 7); }, {QVariant::fromValue<QString>(QString("s")), QVariant::fromValue<int>(7)}},
        {"setOverlayOpacitySIGNAL", [hub] { hub->setOverlayOpacity(7); }, {QVariant::fromValue<int>(7)}},
        {"clearOverlayImageSIGNAL", [hub] { hub->clearOverlayImage(); }, {}},
        {"sig_SetAllCrossLineWidth", [hub] { hub->setAllCrossLineWidth(7); }, {QVariant::fromValue<int>(7)}},
        {"SDLCLoseFinishSIGNAL", [hub] { hub->SDLCLoseFinish(); }, {}},
        {"sig_setScaleLength", [hub] { hub->setScaleLength(7); }, {QVariant::fromValue<int>(7)}},
    };
    QCOMPARE(cases.size(), 96);
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

QTEST_MAIN(TestMessagePassing)
#include "tst_message_passing.moc"
