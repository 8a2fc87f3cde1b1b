#include "app/hub/MessagePassing.h"

#include "app/hub/FlatFieldGain.h"
#include "app/hub/PictureSizeLimit.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/UiSize.h"
#include "platform/AppPaths.h"
#include "platform/FileCommit.h"
#include "platform/SimUsbCamera.h"
#include "platform/SnapshotRecords.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

MessagePassing* MessagePassing::instance() {
    // First call happens on the GUI thread before any worker exists.
    static MessagePassing* hub = new MessagePassing();
    return hub;
}

namespace {
// Larger pictures read at start are taken as damaged (a 16k x 8k picture is far
// above anything a camera here makes).
constexpr qint64 kMaxStartPicturePixels = qint64(16384) * 8192;
} // namespace

MessagePassing::MessagePassing() {
    qRegisterMetaType<QImage*>("QImage*");
    qRegisterMetaType<QList<QString>>("QList<QString>");
    qRegisterMetaType<QObject*>("QObject*");
    qRegisterMetaType<QWidget*>("QWidget*");

    gunChars = {'-', '_', '+', '=', '~', '!', '@', '#', '%', '^', '&', '(', ')', '[', ']', '{', '}'};

    // Flat-field table: grey 100 is gain 1.0.
    const QString yinYing = AppPaths::appFile("pinjie/YinYingData.bmp");
    // Read defensively: a damaged file (an absurd header) must never keep the
    // program from starting; it counts as "no flat field".
    cv::Mat grey;
    if (QFile::exists(yinYing)) {
        const QSize size = PictureSizeLimit::headerSize(yinYing);
        if (size.isValid() && qint64(size.width()) * size.height() <= kMaxStartPicturePixels) {
            try {
                grey = cv::imread(yinYing.toUtf8().toStdString(), cv::IMREAD_GRAYSCALE);
            } catch (const cv::Exception&) {
                grey.release();
            }
        }
        if (grey.empty())
            qWarning("Flat-field reference %s cannot be read; flat field off", qPrintable(yinYing));
    }
    if (!grey.empty()) {
        yinYingMat = FlatFieldGain::gainTable(grey);
        hasYinYing = true;
    }

    QDir dir;
    for (const char* sub : {"Export", "Export/Image", "Export/Video", "Export/File"}) {
        const QString path = AppPaths::appFile(sub);
        if (!dir.exists(path))
            dir.mkdir(path);
    }
}

// The hub lives as long as the process and is never deleted; the camera it
// names belongs to whoever opened it.
MessagePassing::~MessagePassing() = default;

// ---------------------------------------------------------------- setters

void MessagePassing::setCurCamera(BaseCamera* camera) {
    curCamera = camera;
    if (!camera)
        emit setCurCameraNULLSIGNAL();
    else
        initImageHistory();
}

void MessagePassing::setLanguage(int index) {
    // Three-entry text tables are indexed by this: anything else is Chinese.
    if (index < 0 || index > 2)
        index = 0;
    languageIndex = index;
    emit changeLanguageSIGNAL(index);
}

void MessagePassing::setIsCameraMode(bool on) {
    isCameraMode = on;
    emit setIsCameraModeSIGNAL(on);
}

void MessagePassing::setVideoState(bool on) {
    videoState = on;
    emit setVideoStateSIGNAL(on);
}

void MessagePassing::setAEState(bool on) {
    aeState = on;
    emit setAEStateSIGNAL();
}

void MessagePassing::setCameraTiming(bool on) {
    cameraTiming = on;
    emit setCameraTimingSIGNAL();
}

void MessagePassing::setEditImage(QString path) {
    if (!curCamera || videoState)
        return;
    editImagePath = path;
    emit setEditImageSIGNAL(path);
}

void MessagePassing::setGunMode(int mode) {
    gunMode = mode;
    if (mode != 0)
        gunCapture = true;
}

// ---------------------------------------------------------------- scanner

void MessagePassing::GunAddChar(QChar ch) {
    if (!gunCapture || gunMode == 0)
        return;
    if (ch.isNumber())
        gunBuffer.append(ch);
    else if (ch.isLetter())
        gunBuffer.append(ch.toUpper());
    else if (gunChars.contains(ch))
        gunBuffer.append(ch);
    // Only the action of the last character of a burst stays live.
    if (!gunActions.isEmpty())
        gunActions.last() = [] {};
    gunActions.append([this] { GunReturnFunc(); });
    QTimer::singleShot(500, this, &MessagePassing::GunReturn);
}

void MessagePassing::GunStop() { gunCapture = false; }

void MessagePassing::GunReturn() {
    if (gunActions.isEmpty())
        return;
    auto action = gunActions.takeFirst();
    action();
}

void MessagePassing::GunRestart() { gunCapture = true; }

void MessagePassing::GunReturnFunc() {
    const QString code = gunBuffer.split('/').last();
    if (code.size() >= 3) {
        if (gunMode == 1)
            emit GunReturnSIGNAL(code);
        else if (gunMode == 2)
            emit GunReturnVideoSIGNAL(code);
    }
    gunBuffer.clear();
    gunCapture = false;
    QTimer::singleShot(500, this, &MessagePassing::GunRestart);
}

// ---------------------------------------------------------------- recent images

QString MessagePassing::getImageHistoryPath(int index) const { return historyPaths.value(index); }

void MessagePassing::initImageHistory() {
    historyOpen = true;
    QMap<int, QString> stored;
    int storedCnt = 0;
    {
        // Read only: the list is written back whole below.
        const QSettings file(RegularFile::settingsName("./ImageHistory.ini"), QSettings::IniFormat);
        storedCnt = file.value("TotalCnt", 0).toInt();
        for (const QString& key : file.childKeys()) {
            bool ok = false;
            const int i = key.toInt(&ok);
            if (ok)
                stored.insert(i, file.value(key).toString());
        }
    }

    // Walk the keys that exist (newest first) rather than every number up to
    // TotalCnt: a damaged count must not make a camera open loop for minutes.
    QList<int> indexes;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        if (it.key() >= 0 && it.key() < storedCnt)
            indexes.append(it.key());
    std::sort(indexes.begin(), indexes.end(), std::greater<int>());
    QList<QPair<int, QString>> kept; // newest first
    for (int i : indexes) {
        const QString path = stored.value(i);
        if (QFile::exists(path))
            kept.append({i, path});
        if (kept.size() >= 50)
            break;
    }

    // Pictures written by a program that was killed before it listed them
    // come after the listed ones, as they were taken after them.
    QList<QPair<QString, QString>> leftovers;
    for (const auto& item : SnapshotRecords::takeLeftovers()) {
        bool listed = false;
        for (const auto& k : kept)
            listed = listed || k.second == item.first;
        if (!listed)
            leftovers.append(item);
        else if (!item.second.isEmpty())
            QFile::remove(item.second); // listed already, with its own thumbnail
    }

    historyPaths.clear();
    totalCnt = 0;
    historyList.clear();
    for (int k = kept.size() - 1; k >= 0; --k) {
        const int old = kept[k].first;
        if (old != totalCnt) {
            const QString to = QString("./.scaleImage/%1.jpg").arg(totalCnt);
            QFile::remove(to);
            QFile::rename(QString("./.scaleImage/%1.jpg").arg(old), to);
        }
        historyPaths.insert(totalCnt, kept[k].second);
        ++totalCnt;
        historyList.append(kept[k].second);
    }
    for (const auto& item : leftovers) {
        const QString to = QString("./.scaleImage/%1.jpg").arg(totalCnt);
        QFile::remove(to);
        if (!item.second.isEmpty())
            QFile::rename(item.second, to);
        historyPaths.insert(totalCnt, item.first);
        ++totalCnt;
        historyList.append(item.first);
    }
    storeImageHistory();
}

void MessagePassing::storeImageHistory() {
    // Whole or not at all: QSettings::sync leaves a file cut at a page on a
    // nearly full disk, and a list without its count lists nothing at the
    // next start. What the user sees stays the list in memory either way;
    // the next write that finds room writes all of it.
    historyStored = SaveErrorBox::editSettings("./ImageHistory.ini", [this](QSettings& file) {
        file.clear();
        for (auto it = historyPaths.cbegin(); it != historyPaths.cend(); ++it)
            file.setValue(QString::number(it.key()), it.value());
        file.setValue("TotalCnt", totalCnt);
    });
}

int MessagePassing::addImageHistory(QString path) {
    if (!historyOpen)
        return -1;
    if (historyList.contains(path)) {
        int found = -1;
        for (int i = 0; i < totalCnt; ++i) {
            if (historyPaths.value(i) == path) {
                found = i;
                break;
            }
        }
        emit addImageHistorySIGNAL(found, path);
        return found;
    }
    historyPaths.insert(totalCnt, path);
    ++totalCnt;
    storeImageHistory();
    historyList.append(path);
    emit addImageHistorySIGNAL(totalCnt - 1, path);
    return totalCnt - 1;
}

void MessagePassing::removeImageHistory(int index, QString path) {
    if (historyOpen) {
        historyPaths.remove(index);
        storeImageHistory();
    }
    historyList.removeOne(path);
    emit removeImageHistorySIGNAL(index);
}

void MessagePassing::removeAllImageHistory() {
    if (historyOpen) {
        historyPaths.clear();
        storeImageHistory();
    }
    historyList.clear();
    emit removeAllImageHistorySIGNAL();
}

void MessagePassing::snapImage(QString path, int mode, QString finalTarget) {
    QImage* image = new QImage();
    const QString suffix = SnapshotRecords::takeWrittenPicture(path, *image);
    if (suffix.isEmpty()) {
        delete image;
        // A screenshot or save that found no picture still ends its busy bracket.
        if (mode == 8 || mode == 9)
            emit removeIconCameraSIGNAL();
        return;
    }
    image->setDotsPerMeterX(12401);
    image->setDotsPerMeterY(12401);

    // saveImage belongs to the GUI thread; the USB snapshot saver calls this
    // from its own thread, so the copy is handed over queued. The picture that
    // travels with saveItemSIGNAL is this request's own.
    auto keepLast = [this](const QImage& picture) {
        if (QThread::currentThread() == thread())
            saveImage = picture;
        else
            QMetaObject::invokeMethod(this, [this, picture] { saveImage = picture; }, Qt::QueuedConnection);
    };

    QString target;
    switch (mode) {
    case 2:
        target = path + ".jpg";
        *image = image->scaledToWidth(1920, Qt::FastTransformation);
        image->setDotsPerMeterX(12401);
        image->setDotsPerMeterY(12401);
        break;
    case 5:
        target = path + suffix;
        break;
    case 8:
    case 9:
        target = path + "." + imgType;
        break;
    default:
        keepLast(*image);
        delete image;
        return;
    }
    if (!finalTarget.isEmpty() && (mode == 2 || mode == 5))
        target = finalTarget;
    keepLast(*image);
    emit saveItemSIGNAL(image, mode, target);
}

void MessagePassing::saveItemFinish(int mode, QString target, QImage* image) {
    const QImage picture = image ? *image : saveImage;
    delete image;
    const QString format = target.mid(target.lastIndexOf('.') + 1);
    switch (mode) {
    case 2:
        // The report's picture: whole or absent (the export panel then says
        // the export failed), never cut, and never an older export's.
        if (!FileCommit::writeImage(target, picture, format.toUtf8().constData(), 100, language()).isEmpty())
            QFile::remove(target);
        emit exportImageSIGNAL();
        break;
    case 5:
        saveImageByFileDialog(picture, target, true, true);
        emit imageModeSaveSIGNAL();
        break;
    case 8:
    case 9:
        saveImageByFileDialog(picture, target, false, true);
        emit removeIconCameraSIGNAL();
        break;
    default:
        break;
    }
}

void MessagePassing::saveImageByFileDialog(QImage image, QString path, bool saveDirectly, bool addToHistory) {
    emit saveImageByFileDialogSIGNAL(image, path, saveDirectly, addToHistory);
}

QString MessagePassing::checkPath(QSettings* settings, const char* key, const char* fallback) {
    QString p = settings ? settings->value(key).toString() : QString();
    if (!p.isEmpty() && QDir(p).exists())
        return p;
    p = AppPaths::appFile(fallback);
    // The whole path, in case Export itself went missing since start-up.
    QDir dir;
    if (!dir.exists(p))
        dir.mkpath(p);
    if (settings) {
        settings->setValue(key, p);
        settings->sync();
    }
    return p;
}

QString MessagePassing::checkImgPath(QSettings* settings) { return checkPath(settings, "imgPath", "Export/Image"); }
QString MessagePassing::checkVideoPath(QSettings* settings) {
    return checkPath(settings, "videoPath", "Export/Video");
}
QString MessagePassing::checkXlsPath(QSettings* settings) { return checkPath(settings, "xlsPath", "Export/File"); }


// ---------------------------------------------------------------- style sheets

QString MessagePassing::getQCheckBoxStyle() const {
    const int s = indicatorSize(uiSizeFactor);
    return QString("QCheckBox::indicator{width:%1px;height:%1px;}"
                   "QCheckBox::indicator:unchecked{border-image:url(:/res/CameraForm/check_off.png) 5 5 5 5 "
                   "stretch stretch;}"
                   "QCheckBox::indicator:checked{border-image:url(:/res/CameraForm/check_on.png) 5 5 5 5 "
                   "stretch stretch;}")
        .arg(s);
}

QString MessagePassing::getQRadioButtonStyle() const {
    const int s = indicatorSize(uiSizeFactor);
    return QString("QRadioButton::indicator{width:%1px;height:%1px;}"
                   "QRadioButton::indicator:unchecked{border-image:url(:/res/CameraForm/radio_off.png) 5 5 5 5 "
                   "stretch stretch;}"
                   "QRadioButton::indicator:checked{border-image:url(:/res/CameraForm/radio_on.png) 5 5 5 5 "
                   "stretch stretch;}")
        .arg(s);
}

QString MessagePassing::getQComboBoxStyle() const {
    return QString("QComboBox{border-image:url(:/res/editBg_%1.png) 5 5 5 5 stretch stretch;border-width:5px;}"
                   "QComboBox::drop-down{image:url(:/res/dropDown_%1.png);padding:-2px;}")
        .arg(uiSizeFactor);
}

QString MessagePassing::getQLineEditStyle() const {
    // A line edit clips its text to the space inside its borders: 5 pixels
    // above and below would leave less than a line of the interface font in
    // an edit of the panels' height and cut "g", "p" and "_". The frame
    // picture keeps its slices and is drawn into thin borders there.
    return QString("QLineEdit{border-image:url(:/res/editBg_%1.png) 5 5 5 5 stretch stretch;border-width:1px 5px;}")
        .arg(uiSizeFactor);
}

QString MessagePassing::getQSpinBoxStyle() const {
    return QString(
               "QAbstractSpinBox{border-image:url(:/res/editBg_%1.png) 5 5 5 5 stretch stretch;border-width:5px;}")
        .arg(uiSizeFactor);
}

QString MessagePassing::getQPushButtonStyle() const {
    return QString("QPushButton{border-image:url(:/res/btnBG_%1.png) 5 5 5 5 stretch stretch;border-width:5px;}")
        .arg(uiSizeFactor);
}

QString MessagePassing::getQToolButtonStyle() const {
    return QString("QToolButton{border-image:url(:/res/btnBG_%1.png) 5 5 5 5 stretch stretch;border-width:5px;}"
                   "QToolButton:checked{border-image:url(:/res/btnBGS_%1.png) 5 5 5 5 stretch stretch;"
                   "border-width:5px;}")
        .arg(uiSizeFactor);
}

QString MessagePassing::getQSliderStyle() const {
    return QString("QSlider::groove:horizontal{border-image:url(:/res/slider_%1.png) %2 %2 %2 %2 stretch stretch;"
                   "border-width:%1;}"
                   "QSlider::handle:horizontal{image:url(:/res/slider_handle_%1.png);margin-left:-%2px;"
                   "margin-right:-%2px;margin-top:-%2px;margin-bottom:-%2px;}")
        .arg(uiSizeFactor)
        .arg(uiSizeFactor - 1);
}

// ---------------------------------------------------------------- emitters

void MessagePassing::quitFullScreen() { emit quitFullScreenSIGNAL(); }
void MessagePassing::wheelEventAdd(QPoint a0) { emit wheelEventAddSIGNAL(a0); }
void MessagePassing::wheelEventSub(QPoint a0) { emit wheelEventSubSIGNAL(a0); }
void MessagePassing::snapCtrlQ() { emit snapCtrlQSIGNAL(); }
void MessagePassing::initImageScaleIndex(int a0) { emit initImageScaleIndexSIGNAL(a0); }
void MessagePassing::initImgEffect() { emit initImgEffectSIGNAL(); }
void MessagePassing::syncRGBGain() { emit syncRGBGainSINGAL(); }
void MessagePassing::syncExposure() { emit syncExposureSINGAL(); }
void MessagePassing::useMeasureTool(int a0) { emit useMeasureToolSIGNAL(a0); }
void MessagePassing::setAutoEdgeState(bool a0) { emit setAutoEdgeStateSIGNAL(a0); }
void MessagePassing::setMeasurePenSize(int a0) { emit setMeasurePenSizeSIGNAL(a0); }
void MessagePassing::setMeasureScaleLength(int a0) { emit sig_setMeasureScaleLength(a0); }
void MessagePassing::setMeasureFontSize(int a0) { emit setMeasureFontSizeSIGNAL(a0); }
void MessagePassing::setMeasureChiSize(int a0) { emit setMeasureChiSizeSIGNAL(a0); }
void MessagePassing::setMeasureAutoEdge(int a0) { emit setMeasureAutoEdgeSIGNAL(a0); }
void MessagePassing::setMeasureItemColor(int a0) { emit setMeasureItemColorSIGNAL(a0); }
void MessagePassing::setMeasureChiColor(int a0) { emit setMeasureChiColorSIGNAL(a0); }
void MessagePassing::setMeasureMode(int a0) { emit setMeasureModeSIGNAL(a0); }
void MessagePassing::setMeasureMouseSize(int a0) { emit setMeasureMouseSizeSIGNAL(a0); }
void MessagePassing::setMeasureFontColor(int a0) { emit setMeasureFontColorSIGNAL(a0); }
void MessagePassing::sendScaleInfo(QList<QString> a0, QString a1) { emit sendScaleInfoSIGNAL(a0, a1); }
void MessagePassing::setCurScaleName(QString a0) { emit setCurScaleNameSIGNAL(a0); }
void MessagePassing::scaleUnitChanged(QString a0) { emit scaleUnitChangedSIGNAL(a0); }
void MessagePassing::scaleBitsChanged(int a0) { emit scaleBitsChangedSIGNAL(a0); }
void MessagePassing::delScaleName(QString a0) { emit delScaleNameSIGNAL(a0); }
void MessagePassing::setScaleUnit(QString unit, int count) { emit setScaleUnitSIGNAL(unit, count); }
void MessagePassing::startAddScale() { emit startAddScaleSIGNAL(); }
void MessagePassing::startAddCircleScale() { emit startAddCircleScaleSIGNAL(); }
void MessagePassing::startParallelScale() { emit startParallelScaleSIGNAL(); }
void MessagePassing::bewriteTextUpdate(bool show, QPoint point, QString text) { emit bewriteTextUpdateSIGNAL(show, point, text); }
void MessagePassing::snapImageMode(QString a0, QString a1, int a2) { emit snapImageModeSIGNAL(a0, a1, a2); }
void MessagePassing::pinJieImage(QImage a0) {
    SimUsbBus::instance()->noteStitchingFrame(); // a simulated stage may pan meanwhile
    emit pinJieImageSIGNAL(a0);
}
void MessagePassing::pinJieYinYingImage(QImage a0) { emit pinJieYinYingImageSIGNAL(a0); }
void MessagePassing::jingShenImage(QImage a0) { emit jingShenImageSIGNAL(a0); }
void MessagePassing::snapJingShenBegin() { emit snapJingShenBeginSIGNAL(); }
void MessagePassing::stopVideo() { emit stopVideoSIGNAL(); }
void MessagePassing::addIconCamera() { emit addIconCameraSIGNAL(); }
void MessagePassing::addIconAWB() { emit addIconAWBSIGNAL(); }
void MessagePassing::removeIconAWB() { emit removeIconAWBSIGNAL(); }
void MessagePassing::removeIconCamera() { emit removeIconCameraSIGNAL(); }
void MessagePassing::getAllMeasureData(QString path, QString image) { emit getAllMeasureDataSIGNAL(path, image); }
void MessagePassing::getAllMeasureDataWord(QString& html, QString image) { emit getAllMeasureDataWordSIGNAL(html, image); }
void MessagePassing::changeFenBianLv1080p(int a0) { emit changeFenBianLv1080pSIGNAL(a0); }
void MessagePassing::changeFenBianLv1080pFinish(int a0) { emit changeFenBianLv1080pFinishSIGNAL(a0); }
void MessagePassing::changeFenBianLv1080pReturn(int a0) { emit changeFenBianLv1080pReturnSIGNAL(a0); }
void MessagePassing::changeFenBianLv1080pReturnFinish(int a0) { emit changeFenBianLv1080pReturnFinishSIGNAL(a0); }
void MessagePassing::goOutPinJie() { emit goOutPinJieSIGNAL(); }
void MessagePassing::goOutJingShen() { emit goOutJingShenSIGNAL(); }
void MessagePassing::goOutJingShenHigh() { emit goOutJingShenHighSIGNAL(); }
void MessagePassing::OzaFreashWholeSys() { emit OzaFreashWholeSysSIGNAL(); }
void MessagePassing::setIsCanMoveItem(bool a0) { emit setIsCanMoveItemSIGNAL(a0); }
void MessagePassing::ForceSlider() { emit ForceSliderSIGNAL(); }
void MessagePassing::changeResolution() { emit changeResolutionSIGNAL(); }
void MessagePassing::setPlottingScalVisible(bool a0) { emit setPlottingScalVisibleSIGNAL(a0); }
void MessagePassing::setLineNum(int a0, bool a1) { emit setLineNumSIGNAL(a0, a1); }
void MessagePassing::removeAllLine() { emit removeAllLineSIGNAL(); }
void MessagePassing::setLineVisible(bool a0) { emit setLineVisibleSIGNAL(a0); }
void MessagePassing::setLineColor(int a0) { emit setLineColorSIGNAL(a0); }
void MessagePassing::setCrossLineInfo(int nIndex, bool bIsHer, float fPos, float fAngle, QColor col, bool bShow, bool bScale) { emit setCrossLineInfoSIGNAL(nIndex, bIsHer, fPos, fAngle, col, bShow, bScale); }
void MessagePassing::delCrossLine(int index, bool isHer) { emit delCrossLineSIGNAL(index, isHer); }
void MessagePassing::setCrossLineDatum(int index, double distance, bool isHer) { emit setCrossLineDatumSIGNAL(index, distance, isHer); }
void MessagePassing::getCrossLineNum() { emit getCrossLineNumSIGNAL(); }
void MessagePassing::sendCrossLineInfo(int hor, int ver, QColor color) { emit sendCrossLineInfoSIGNAL(hor, ver, color); }
void MessagePassing::setTenVisible(bool isVisible) { emit setTenVisibleSIGNAL(isVisible); }
void MessagePassing::setTenColorScale(QColor color, bool isScale) { emit setTenColorScaleSIGNAL(color, isScale); }
void MessagePassing::setTenCenter(bool isCenter) { emit setTenCenterSIGNAL(isCenter); }
void MessagePassing::setEditImageOK() { emit setEditImageOKSIGNAL(); }
void MessagePassing::XlsSet_rbtnAUTOToggle(bool a0) { emit XlsSet_rbtnAUTOToggleSIGNAL(a0); }
void MessagePassing::XlsSet_rbtnExportToggle(bool a0) { emit XlsSet_rbtnExportToggleSIGNAL(a0); }
void MessagePassing::XlsSet_btnPathClick(QString a0) { emit XlsSet_btnPathClickSIGNAL(a0); }
void MessagePassing::XlsEditDialogClose() { emit XlsEditDialogCloseSIGNAL(); }
void MessagePassing::XlsSet_comboCurrentIndexChanged(QObject* a0, int a1) { emit XlsSet_comboCurrentIndexChangedSIGNAL(a0, a1); }
void MessagePassing::argsNew(QString a0) { emit argsNewSIGNAL(a0); }
void MessagePassing::argsDel(QString a0) { emit argsDelSIGNAL(a0); }
void MessagePassing::argsLoad(QString a0) { emit argsLoadSIGNAL(a0); }
void MessagePassing::WordEditDialogClose() { emit WordEditDialogCloseSIGNAL(); }
void MessagePassing::restartCamera() { emit restartCameraSIGNAL(); }
void MessagePassing::updateMeasureData(int start, int end, QList<QString> names, QList<QString> values) { emit updateMeasureDataSignal(start, end, names, values); }
void MessagePassing::selectItemFromIndex(int index) { emit selectItemFromIndexSignal(index); }
void MessagePassing::setMeasureItemData(int row, int column, double value, bool set) { emit setMeasureItemDataSignal(row, column, value, set); }
void MessagePassing::renewScrollBar() { emit renewScrollBarSignal(); }
void MessagePassing::setCrossLineData(int index, bool isHLine, float centerPos, float angle, QColor color, bool show, bool bScale) { emit setCrossLineDataSIGNAL(index, isHLine, centerPos, angle, color, show, bScale); }
void MessagePassing::paintAF() { emit paintAFSIGNAL(); }
void MessagePassing::btnScaleOK() { emit btnScaleOKSIGNAL(); }
void MessagePassing::checkBoxGunToggle(bool a0) { emit checkBoxGunToggleSIGNAL(a0); }
void MessagePassing::selectSnapHistoryLast() { emit selectSnapHistoryLastSIGNAL(); }
void MessagePassing::setThreadAVPacketFinish() { emit setThreadAVPacketFinishSIGNAL(); }
void MessagePassing::WFRenewData(bool a0) { emit WFRenewDataSIGNAL(a0); }
void MessagePassing::sendSerialPortName(QString a0) { emit sendSerialPortNameSIGNAL(a0); }
void MessagePassing::recvSerialPortName(QString a0) { emit recvSerialPortNameSIGNAL(a0); }
void MessagePassing::createRulerInfo(QString a0) { emit createRulerInfoSIGNAL(a0); }
void MessagePassing::setOverlayImage(QString imagePath, int opacity) { emit setOverlayImageSIGNAL(imagePath, opacity); }
void MessagePassing::setOverlayOpacity(int opacity) { emit setOverlayOpacitySIGNAL(opacity); }
void MessagePassing::clearOverlayImage() { emit clearOverlayImageSIGNAL(); }
void MessagePassing::setAllCrossLineWidth(int iTemp) { emit sig_SetAllCrossLineWidth(iTemp); }
void MessagePassing::SDLCLoseFinish() { emit SDLCLoseFinishSIGNAL(); }
void MessagePassing::setScaleLength(int iTemp) { emit sig_setScaleLength(iTemp); }
