#include "panels/measure/MeasureForm.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"

#include <QGridLayout>
#include <QToolButton>

namespace {
struct Tool {
    int number;
    const char* text[3];
};
const Tool kTools[] = {
    {0, {"直线", "Line", "直線"}},          {1, {"点到线", "Pt-Line", "點到線"}},
    {2, {"线到线", "Line-Line", "線到線"}}, {3, {"角度", "Angle", "角度"}},
    {4, {"圆弧", "Arc", "圓弧"}},           {5, {"平行线", "Parallel", "平行線"}},
    {6, {"水平平行", "H Parallel", "水平平行"}}, {7, {"垂直平行", "V Parallel", "垂直平行"}},
    {8, {"折线", "Polyline", "折線"}},      {9, {"矩形", "Rectangle", "矩形"}},
    {10, {"多边形", "Polygon", "多邊形"}},  {11, {"三点圆", "Circle", "三點圓"}},
    {12, {"弧到弧", "Arc-Arc", "弧到弧"}},  {13, {"圆到圆", "Circle-Circle", "圓到圓"}},
    {14, {"点到圆", "Pt-Circle", "點到圓"}}, {15, {"线到圆", "Line-Circle", "線到圓"}},
    {16, {"文字", "Text", "文字"}},         {17, {"多点到线", "Multi Pt-Line", "多點到線"}},
    {22, {"标记1", "Mark 1", "標記1"}},     {23, {"标记2", "Mark 2", "標記2"}},
    {24, {"标记3", "Mark 3", "標記3"}},     {25, {"套索", "Lasso", "套索"}},
    {28, {"圆度", "Roundness", "圓度"}},    {18, {"全部删除", "Delete All", "全部刪除"}},
};
} // namespace

QList<int> MeasureForm::toolNumbers() {
    QList<int> out;
    for (const Tool& t : kTools)
        out << t.number;
    return out;
}

MeasureForm::MeasureForm(QWidget* parent) : QWidget(parent) {
    setObjectName("MeasureForm");
    auto* grid = new QGridLayout(this);
    const int cols = 3;
    int i = 0;
    for (const Tool& t : kTools) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("btnTool_%1").arg(t.number));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setMinimumHeight(int(float(30) * float(uiSizeFactor) * 0.1f));
        b->setStyleSheet(MessagePassing::instance()->getQToolButtonStyle());
        const int number = t.number;
        connect(b, &QToolButton::clicked, this, [number] { MessagePassing::instance()->useMeasureTool(number); });
        grid->addWidget(b, i / cols, i % cols);
        m_buttons << b;
        ++i;
    }
    resize(int(float(300) * float(uiSizeFactor) * 0.1f), sizeHint().height());
    connect(MessagePassing::instance(), SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(MessagePassing::instance()->language());
}

void MeasureForm::changeLanguageSLOT(int language) {
    const int lang = (language < 0 || language > 2) ? 0 : language;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setText(QString::fromUtf8(kTools[i].text[lang]));
}
