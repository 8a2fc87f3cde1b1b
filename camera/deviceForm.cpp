#include "camera/deviceForm.h"

#include "app/MessagePassing.h"
#include "camera/SDLBackground.h"

deviceForm::deviceForm(QWidget* parent) : QWidget(parent) {
    connect(MessagePassing::instance(), SIGNAL(SDLCLoseFinishSIGNAL()), this, SLOT(SDLCLoseFinishSLOT()));
    connect(MessagePassing::instance(), SIGNAL(setThreadAVPacketFinishSIGNAL()), this,
            SLOT(setThreadAVPacketFinishSLOT()));
}

void deviceForm::stopSDLLoop() {
    if (videoWindow)
        videoWindow->stop();
}

void deviceForm::SDLCLoseFinishSLOT() {
    MessagePassing::instance()->setCurCamera(nullptr);
    runExitAction(false);
}

void deviceForm::setThreadAVPacketFinishSLOT() { runExitAction(false); }

void deviceForm::runExitAction(bool netCameraUsed) {
    if (m_exitAction) {
        auto action = m_exitAction;
        m_exitAction = nullptr;
        action(netCameraUsed);
    }
}

void deviceForm::initDeviceList(QList<int> codes, QList<int> indexes) {
    Q_UNUSED(codes) Q_UNUSED(indexes)
}
