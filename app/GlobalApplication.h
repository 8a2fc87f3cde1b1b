#pragma once

#include <QApplication>
#include <QTranslator>

// The application object. It sees every event before any widget does and
// routes the global keys (Escape, Ctrl+Q, F1; Escape stays with a dialog,
// modal or not, a popup or an open combo list), the barcode scanner's typing
// and the mouse wheel over the central widget's window to the hub.
class GlobalApplication : public QApplication {
    Q_OBJECT
public:
    GlobalApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Qt's own dialog texts ("Look in", "Save", "Cancel") in the interface
    // language: 0 simplified Chinese, 1 English, 2 traditional Chinese.
    void useQtTranslation(int language);

private:
    QTranslator m_qtTexts;
    bool m_qtTextsInstalled = false;
};
