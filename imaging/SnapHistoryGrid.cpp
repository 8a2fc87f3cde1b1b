#include "imaging/SnapHistoryGrid.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "app/hub/PictureSizeLimit.h"

#include <QEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {
SnapHistoryGrid::Question& questionSlot() {
    static SnapHistoryGrid::Question q;
    return q;
}
int sized(int designed) { return int(std::lround(designed * uiSizeFactor / 10.0)); }
} // namespace

void SnapHistoryGrid::setQuestion(Question question) { questionSlot() = std::move(question); }

SnapHistoryGrid::SnapHistoryGrid(QWidget* parent) : QWidget(parent) {
    setObjectName("SnapHistoryGrid");
    resize(sized(264), sized(170));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    widget = new QWidget(this);
    widget->setObjectName("widget");
    layout->addWidget(widget);
    labImg = new QLabel(widget);
    labImg->setObjectName("labImg");
    labImg->setGeometry(0, sized(10), sized(264), sized(148));
    labImg->setAlignment(Qt::AlignCenter);
    labName = new QLabel(widget);
    labName->setObjectName("labName");
    labName->setGeometry(0, sized(10), sized(264), sized(30));
    labName->setAlignment(Qt::AlignCenter);
    labName->setStyleSheet("QLabel{\nbackground-color:rgba(200, 200, 200,180)\n}");
    btnClose = new QToolButton(widget);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(sized(238), sized(14), sized(23), sized(23));
    btnClose->setMinimumSize(sized(23), sized(23));
    btnClose->setMaximumSize(sized(100), sized(100));
    btnClose->setAutoRaise(true);
    btnClose->setIconSize(btnClose->size());
    // One decoded icon for all cells: a reload creates up to 50 at once.
    static QPixmap icon;
    static int iconWidth = -1;
    if (iconWidth != btnClose->width()) {
        icon = QPixmap(QString(":/res/MainWindow/btnClose_%1.png").arg(uiSizeFactor))
                   .scaledToWidth(btnClose->width(), Qt::SmoothTransformation);
        iconWidth = btnClose->width();
    }
    btnClose->setIcon(icon);
    btnClose->hide();
    connect(btnClose, SIGNAL(clicked()), this, SLOT(btnCloseClick()));
    setBackground(false);
    installEventFilter(this);
}

SnapHistoryGrid::~SnapHistoryGrid() = default;

void SnapHistoryGrid::setData(const QFileInfo& picture, int entry, bool loadThumbnail) {
    fileInfo = picture;
    index = entry;
    labName->setText(picture.fileName());
    if (loadThumbnail)
        QTimer::singleShot(300, this, SLOT(oneSecLater()));
}

void SnapHistoryGrid::oneSecLater() {
    const QString path = QString("./.scaleImage/%1.jpg").arg(index);
    const QImage thumb = PictureSizeLimit::readThumbnail(path);
    if (thumb.isNull())
        return;
    labImg->setPixmap(QPixmap::fromImage(thumb.scaledToHeight(labImg->height(), Qt::SmoothTransformation)));
}

void SnapHistoryGrid::setBackground(bool dark) {
    widget->setStyleSheet(dark ? "QWidget#widget{background-color:rgb(30, 30, 30);}"
                               : "QWidget#widget{background-color:rgb(255, 255, 255);}");
}

void SnapHistoryGrid::setSelected() {
    isSelected = true;
    setBackground(true);
}

void SnapHistoryGrid::setUnselected() {
    if (!isSelected)
        return;
    isSelected = false;
    setBackground(false);
}

bool SnapHistoryGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this) {
        switch (event->type()) {
        case QEvent::Enter:
            if (!isSelected)
                setBackground(true);
            btnClose->show();
            break;
        case QEvent::Leave:
            if (!isSelected)
                setBackground(false);
            btnClose->hide();
            break;
        case QEvent::MouseButtonRelease:
            // A picture too large to hold is refused before the view or the
            // hub's edit path changes.
            if (!PictureSizeLimit::allowOpen(fileInfo.filePath()))
                break;
            isSelected = true;
            emit seclectSIGNAL();
            setBackground(true);
            MessagePassing::instance()->setEditImage(fileInfo.filePath());
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SnapHistoryGrid::btnCloseClick() {
    static const char* const labels[] = {"确认删除该图片文件吗？", "Is remove this image now?", "確認刪除該圖片文件嗎？"};
    static const char* const oks[] = {"确定", "Ok", "確定"};
    static const char* const cancels[] = {"取消", "Cancel", "取消"};
    int lang = MessagePassing::instance()->language();
    if (lang < 0 || lang > 2)
        lang = 0;
    bool ok;
    if (questionSlot()) {
        ok = questionSlot()(labels[lang], oks[lang], cancels[lang]);
    } else {
        QInputDialog dialog;
        dialog.resize(600, 400);
        dialog.setWindowTitle(QString());
        dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
        dialog.setLabelText(labels[lang]);
        dialog.setOkButtonText(oks[lang]);
        dialog.setCancelButtonText(cancels[lang]);
        if (auto* edit = dialog.findChild<QLineEdit*>())
            edit->hide();
        ok = dialog.exec() == QDialog::Accepted;
    }
    if (ok)
        MessagePassing::instance()->removeImageHistory(index, fileInfo.filePath());
}
