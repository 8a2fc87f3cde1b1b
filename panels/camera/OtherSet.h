#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QToolButton;

// The "Other Setting" panel: interface language, the frame-rate mode of three
// network models, Fast Mode (1920 x 1080) of 4K USB cameras and the share of
// three network models. It also serves the resolution hand-shake: requester 1
// (the capture bar, around a recording) and 2 (stitching) ask for 1920 x 1080
// before their work and give it back afterwards.
//
// Fast Mode switching is a sequence of four steps 200 ms apart (pause, set
// the resolution, play, answer). Requests and restarts that arrive while a
// sequence runs wait for it and are then served in order; the camera returns
// to full size only when no requester holds Fast Mode any more. A sequence cut
// short because the camera went away still re-enables the box and answers.
// Owns ./OtherSet.ini. GUI thread.
class OtherSet : public QWidget {
    Q_OBJECT
public:
    explicit OtherSet(QWidget* parent = nullptr);
    void initFPSList();

public slots:
    void comboIndexChanged(int index);
    void comboFPSIndexChanged(int index);
    void checkBoxFastClicked();
    void btnSMBClick();
    void changeLanguageSLOT(int language);
    void changeFenBianLv1080pSLOT(int requester);
    void changeFenBianLv1080pReturnSLOT(int requester);
    void restartCameraSLOT();
    void WFRenewDataSLOT(bool show);
    void checkBoxFastFunc();
    void checkBoxFastDelay_1();
    void checkBoxFastDelay_2();
    void checkBoxFastDelay_3();
    void comboFPSDelay_1();
    void comboFPSDelay_2();

private:
    enum RequestKind { Start, Return, Restart };
    struct Request {
        RequestKind kind;
        int requester;
    };
    // The current camera when it is a USB camera able to switch, else null.
    class UVCCamera* fastModeCamera() const;
    void serve(const Request& request);
    void serveWaiting();
    // Ends a sequence: box enabled, the answer by the box's state, then the
    // requests that waited for it.
    void finishSequence();
    static void store(const char* key, const QVariant& value);

    QMap<QString, QStringList> texts;
    QLabel *labTitle = nullptr, *labLanguage = nullptr, *labFPS = nullptr;
    QComboBox *comboName = nullptr, *comboFPS = nullptr;
    QCheckBox* checkBoxFast = nullptr;
    QToolButton* btnSMB = nullptr;

    bool fastWasOn = false; // Fast Mode state before the first active requester
    int requesterId = -1;   // answered at the end of the running sequence
    bool restartPending = false;
    bool sequenceRunning = false;
    QSet<int> activeRequesters; // requesters between their request and its return
    QList<Request> waiting;     // requests that arrived during a sequence
    bool fpsSizeChanged = false;
};
