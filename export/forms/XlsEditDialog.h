#pragma once

#include "export/forms/TemplateEditDialog.h"

#include <QPoint>

class QTableWidget;
class QToolButton;

// The XLSX report template editor: templates listed on the left; on the
// right a 50 x 50 grid on which the user places the picture block (10 x 10
// cells standing for the picture and the measurement table), the time-stamp
// cell, and types free texts into other cells. Save writes the template file
// of "./Template" as the report export reads it. Application-modal, deleted
// when closed; its closing is announced through the hub.
class XlsEditDialog : public TemplateEditDialog {
    Q_OBJECT
public:
    explicit XlsEditDialog(QWidget* parent = nullptr);

public slots:
    void btnAddImageClick();
    void btnAddImage(QPoint pos);
    void btnSubImageClick();
    void btnAddTimeClick();
    void btnAddTime(QPoint pos);
    void btnSubTimeClick();
    void btnSaveDelay() override;

protected:
    void announceClosed() override;
    void loadTemplate(const QString& name) override;
    bool initNewTemplate(const QString& file) override;
    void selectionChanged() override;

private:
    void overlapMessage();
    // A grey cell of the picture block or the time stamp (nothing off the grid).
    void markCell(const QPoint& cell, const QString& text);
    QPoint currentCell() const;

    QTableWidget* tableWidget;
    QToolButton* btnAddImage_;
    QToolButton* btnSubImage;
    QToolButton* btnAddTime_;
    QToolButton* btnSubTime;
    QPoint m_imagePos{-1, -1};
    QPoint m_timePos{-1, -1};
};
