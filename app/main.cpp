#include "app/GlobalApplication.h"
#include "app/LatePlugins.h"
#include "app/LiveLoop.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "camera/NetCamera.h"
#include "camera/NetRecorderAdapter.h"
#include "camera/SDLBackground.h"
#include "camera/ThreaSaveImgNet.h"
#include "camera/UsbWorkers.h"
#include "imaging/ThreadJingShenHigh.h"
#include "platform/HeapReturn.h"
#include "platform/ImageThreads.h"
#include "platform/ProcessEnd.h"
#include "platform/TerminationWatcher.h"
#include "resources/SevrinResources.h"

#include <QFontDatabase>
#include <QResource>
#include <QScreen>
#include <QFont>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <langinfo.h>

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
    // One heap for every thread, which a run's Close gives back whole:
    // HeapReturn.
    HeapReturn::oneHeap();
    // A terminate request from the very start takes the shutdown road.
    TerminationWatcher::installHandlers();
    // Runs after main's own objects are gone, before the static ones go.
    std::atexit([] { ProcessEnd::mark("main returned"); });
    // Nothing draws with OpenGL (the video is painted as a picture): loading
    // Qt's GLX integration would only lengthen the start. The user's own
    // choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    GlobalApplication app(argc, argv);
    // Every position of a drag reaches the view: the lasso is the path the
    // pointer took. Qt on X11 keeps only the last of the moves that wait
    // while the interface thread is busy, even across a press, and a lasso
    // dragged meanwhile came out as two points and was dropped. Set after
    // the application is made: its X11 platform turns the merging on.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    // Qt hands the system every text in UTF-8 whatever the locale, but the X
    // library encodes a window's name in the locale's character set: under
    // the C locale the Chinese titles went out as Latin-1 names of UTF-8
    // bytes, which a tool that reads them found under no title. The
    // characters are UTF-8 everywhere then (after the application, which
    // takes the locale from the environment).
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    // Large pictures are converted on threads made now: under memory
    // pressure a thread refused later would leave the interface waiting.
    ImageThreads::keep();
    LatePlugins::holdBack();
    // The encoder's per-recording statistics are not for the operator.
    av_log_set_level(AV_LOG_ERROR);
    sevrinInitResources();
    // The interface font family is not free; the bundled CJK font stands in.
    // Its bytes are compiled in uncompressed: the database reads them where they are.
    const QResource fontData(":/font/wqy-microhei.ttc");
    const int fontId = fontData.isValid() && fontData.compressionAlgorithm() == QResource::NoCompression
        ? QFontDatabase::addApplicationFontFromData(
              QByteArray::fromRawData(reinterpret_cast<const char*>(fontData.data()), int(fontData.size())))
        : QFontDatabase::addApplicationFont(":/font/wqy-microhei.ttc");
    if (fontId >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
        if (!families.isEmpty())
            QFont::insertSubstitution("FZLanTingHeiS-R-GB", families.first());
    }
    MessagePassing::instance();

    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    uiSizeFactor = sizeFactorForWidth(screenWidth);
    QFont font = QApplication::font();
    font.setPixelSize(fontPixelSizeForFactor(uiSizeFactor));
    QApplication::setFont(font);

    videoWindow = new SDLBackground();

    // Where network cameras meet the video window, the recorder and the saver.
    UsbWorkers::install();
    ThreadJingShenHigh::linkUsbCameras();
    NetCameraLinks links;
    links.attachVideo = [](NetVideoFeed* feed, int width, int height) {
        if (videoWindow)
            videoWindow->attachNetCamera(feed, width, height);
    };
    links.detachVideo = [](NetVideoFeed* feed) {
        if (videoWindow)
            videoWindow->detach(feed);
    };
    links.videoRect = [] { return videoWindow ? QRect(videoWindow->pos(), videoWindow->size()) : QRect(); };
    links.placeVideo = [](const QRect& r) {
        if (videoWindow && videoWindow->isReady()) {
            videoWindow->move(r.topLeft());
            videoWindow->resize(r.size());
        }
    };
    links.readBack = [](QImage& target, const QRect& area) {
        return videoWindow && videoWindow->readBack(target, area);
    };
    links.newRecorder = [] { return new NetRecorderAdapter(); };
    links.startSaveThread = [](const QString& path, int mode, bool saveDirect) {
        ThreaSaveImgNet::launch(path, mode, saveDirect);
    };
    NetCamera::setLinks(links);
    auto* window = new MainWindow();

    // A terminate request takes the same road as the close button.
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminateRequested, window->centralWidgetWindow(),
                     &MainWidget::btnCloseClick);

    // The loop also ends on an exit request made while it runs (a failed
    // camera open, a close before the panels exist): QApplication::exit has
    // no effect outside exec.
    {
        LiveLoop loop(videoWindow);
        loop.run();
    }
    ProcessEnd::mark("live loop ended");

    delete videoWindow;
    videoWindow = nullptr;
    ProcessEnd::mark("video window deleted");
    MessagePassing::instance()->SDLCLoseFinish();

    // An exit asked for before exec must not be lost: when it came already,
    // exec is skipped; otherwise the queued request ends exec.
    int code;
    if (ProcessEnd::exitRequested()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        code = ProcessEnd::exitCode();
    } else {
        code = QApplication::exec();
        if (ProcessEnd::exitRequested())
            code = ProcessEnd::exitCode();
    }
    ProcessEnd::mark("event loop ended");
    delete window;
    ProcessEnd::mark("main window deleted");
    return code;
}
