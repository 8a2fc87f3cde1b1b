// The report content: the XLSX grid laid out from the template files, the
// workbook read back by openpyxl, the HTML report read back by Python's HTML
// parser and Pillow, and both reports asked for through the hub.

#include "tests/measure/engine/ReportCheck.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/ReportContent.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/engine/XlsReportLayout.h"
#include "measure/shapes/CLP2P.h"
#include "measure/shapes/ShapeRegistration.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QDateTime kNow(QDate(2024, 3, 9), QTime(14, 5, 7));

MeasureTable makeTable(int rows) {
    MeasureTable t;
    for (int r = 0; r < rows; ++r) {
        t.names << QString("L%1").arg(r + 1);
        for (int j = 0; j < 9; ++j)
            t.values << QString("%1.%2").arg(r + 1).arg(j);
    }
    t.unit = "mm";
    return t;
}

// Writes ./Template/<name>.ini through fill and makes it the current template.
void writeTemplate(const QString& name, const std::function<void(QSettings&)>& fill) {
    QDir().mkpath("Template");
    QSettings list("./Template/List.ini", QSettings::IniFormat);
    list.setValue("strList", QStringList({"default", name}));
    list.setValue("curKey", name);
    QSettings file("./Template/" + name + ".ini", QSettings::IniFormat);
    fill(file);
}

XlsReportLayout layoutOf(int rows, bool picture, int language = 0) {
    return XlsReportLayout(XlsReportTemplate::ReadCurrent(), language, makeTable(rows), picture, kNow);
}

QString writeJpeg(const QString& path, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    if (!image.save(path, "JPG"))
        return QString();
    return path;
}

QJsonObject cellsOf(const QJsonObject& book) {
    return book["cells"].toObject();
}

QString extractFirstTableName(const QJsonObject& html, int row) {
    return html["rows"].toArray()[row].toArray()[0].toString();
}

class WideCamera : public BaseCamera {
public:
    bool isWideFrame() const override { return wide; }
    bool wide = false;
};

} // namespace

class ReportContentTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    // Made inside the first test folder: the hub creates its export folders.
    MessagePassing* hub = nullptr;

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(0);
    }
    void cleanup() {
        hub->setLanguage(0);
        hub->setCurCamera(nullptr);
        env.reset();
    }

    // ------------------------------------------------------------ the grid

    void withoutTemplateFilesTheTableSitsAtRowTwo() {
        const XlsReportLayout l = layoutOf(5, true);
        QCOMPARE(l.x(), 0);
        QCOMPARE(l.y(), 2);
        QCOMPARE(l.cell(2, 0), QString("图 像 测 量 信 息"));
        QCOMPARE(l.headerRow(), 21);
        QCOMPARE(l.cell(21, 0), QString("名称"));
        QCOMPARE(l.cell(21, 10), QString("单位"));
        QCOMPARE(l.cell(22, 0), QString("L1"));
        QCOMPARE(l.cell(26, 9), QString("5.8"));
        QCOMPARE(l.cell(26, 10), QString("mm"));
        QCOMPARE(l.timeCell(), QPoint(-1, -1)); // no position in any file: no time stamp
        QCOMPARE(l.styledRows(), 100);
        QCOMPARE(l.styledColumns(), 100);
    }

    void pictureTemplateWithFiveRows() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("imagePos", QPoint(0, 2));
            s.setValue("strList", QStringList({"Operator:", "Lot 7"}));
            s.setValue("pos_0_DOWN", QPoint(1, 0));
            s.setValue("pos_1_UP", QPoint(4, 0));
        });
        XlsReportLayout with = layoutOf(5, true);
        QCOMPARE(with.cell(2, 0), QString("图 像 测 量 信 息"));
        QCOMPARE(with.headerRow(), 21);
        QCOMPARE(with.firstDataRow(), 22);
        QCOMPARE(with.cell(26, 0), QString("L5"));
        QCOMPARE(with.cell(27, 0), QString());
        QCOMPARE(with.lowerAnchorRow(), 38);
        QCOMPARE(with.cell(38, 1), QString("Operator:"));
        QCOMPARE(with.cell(0, 4), QString("Lot 7"));
        QCOMPARE(with.pictureFrom(true), QPoint(0, 3));
        QCOMPARE(with.pictureTo(true), QPoint(11, 20));
        QCOMPARE(with.pictureFrom(false), QPoint(1, 3));
        QCOMPARE(with.pictureTo(false), QPoint(9, 20));
        // Without the picture the table moves up; the lower anchor does not.
        XlsReportLayout without = layoutOf(5, false);
        QCOMPARE(without.headerRow(), 4);
        QCOMPARE(without.cell(5, 0), QString("L1"));
        QCOMPARE(without.cell(9, 0), QString("L5"));
        QCOMPARE(without.lowerAnchorRow(), 38);
        QCOMPARE(without.cell(38, 1), QString("Operator:"));
    }

    void negativeAndDamagedPositionsFallBack() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("imagePos", QPoint(-3, -1));
            s.setValue("timePos_UP", "garbage"); // not a point: not placed at (0, 0)
            s.setValue("strList", QStringList({"nowhere"}));
        });
        const XlsReportLayout l = layoutOf(1, false);
        QCOMPARE(l.x(), 0);
        QCOMPARE(l.y(), 2);
        QCOMPARE(l.cell(0, 0), QString());
        QCOMPARE(l.timeCell(), QPoint(-1, -1));
        // (-1, -1) below the anchor at column 0 is left of the sheet: skipped.
        QCOMPARE(l.cell(33, 0), QString());
    }

    void timeStampPositions() {
        writeTemplate("t", [](QSettings& s) { s.setValue("timePos_DOWN", QPoint(1, 0)); });
        XlsReportLayout down = layoutOf(3, true);
        QCOMPARE(down.timeCell(), QPoint(1, 36)); // column 1, row 3 + 2 + 31
        QCOMPARE(down.cell(36, 1), QString("2024-03-09 14:05:07"));
        writeTemplate("t", [](QSettings& s) {
            s.setValue("timePos_UP", QPoint(7, 1));
            s.setValue("timePos_DOWN", QPoint(1, 0));
        });
        QCOMPARE(layoutOf(3, true).timeCell(), QPoint(7, 1)); // UP wins
        writeTemplate("t", [](QSettings& s) {
            s.setValue("timePos_HAVE", false);
            s.setValue("timePos_UP", QPoint(7, 1));
        });
        const XlsReportLayout off = layoutOf(3, true);
        QCOMPARE(off.timeCell(), QPoint(-1, -1));
        QCOMPARE(off.cell(1, 7), QString());
    }

    void textsReplaceCellsAndEnglishDefaultUsesItsOwnLabels() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("imagePos", QPoint(2, 1));
            s.setValue("strList", QStringList({"覆盖"}));
            s.setValue("pos_0_UP", QPoint(3, 5)); // a data cell of the first row
        });
        const XlsReportLayout l = layoutOf(2, false, 1);
        QCOMPARE(l.cell(1, 2), QString("Image Measurement Result"));
        QCOMPARE(l.cell(3, 3), QString("Lenght"));
        QCOMPARE(l.cell(3, 9), QString("Hight"));
        QCOMPARE(l.cell(4, 2), QString("L1"));
        QCOMPARE(l.cell(5, 3), QString("覆盖"));

        writeTemplate("default", [](QSettings& s) {
            s.setValue("strList", QStringList({"公司:", "产品:", "操作员:", "日期:"}));
            for (int i = 0; i < 4; ++i)
                s.setValue(QString("pos_%1_UP").arg(i), QPoint(12, i));
        });
        const XlsReportLayout english = layoutOf(1, true, 1);
        QCOMPARE(english.cell(0, 12), QString("Corporate:"));
        QCOMPARE(english.cell(3, 12), QString("Date:"));
        const XlsReportLayout chinese = layoutOf(1, true, 0);
        QCOMPARE(chinese.cell(0, 12), QString("公司:"));
        const XlsReportLayout traditional = layoutOf(1, true, 2);
        QCOMPARE(traditional.cell(2, 0), QString("圖 像 測 量 信 息"));
        QCOMPARE(traditional.cell(21, 9), QString("直徑"));
    }

    void manyRowsGrowTheGridAndNothingLeavesTheSheet() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("timePos_DOWN", QPoint(0, 1));
            s.setValue("strList", QStringList({"far", "farther", "=SUM(A1:A3)"}));
            s.setValue("pos_0_UP", QPoint(20000, 3)); // beyond the last column
            s.setValue("pos_1_DOWN", QPoint(0, 2000000000));
            s.setValue("pos_2_UP", QPoint(150, 40));
        });
        const XlsReportLayout l = layoutOf(120, true);
        QCOMPARE(l.cell(140, 0), QString("L119"));
        QCOMPARE(l.cell(141, 0), QString("L120"));
        QCOMPARE(l.cell(141, 10), QString("mm"));
        QCOMPARE(l.styledRows(), 142);
        QCOMPARE(l.timeCell(), QPoint(0, 154));
        QCOMPARE(l.cell(3, 16383), QString());
        // Positions no editor makes are pulled to the editor's 50 x 50 grid
        // (DOWN offsets to 49): far texts land on its edge.
        QCOMPARE(l.cell(3, 49), QString("far"));
        QCOMPARE(l.cell(153 + 49, 0), QString("farther"));
        QCOMPARE(l.rowCount(), 153 + 49 + 1);
        QCOMPARE(l.cell(40, 49), QString("=SUM(A1:A3)"));

        writeTemplate("t", [](QSettings& s) { s.setValue("imagePos", QPoint(50000, 2000000)); });
        const XlsReportLayout far = layoutOf(3, true);
        QCOMPARE(far.x(), 49);
        QCOMPARE(far.y(), 49);
        QCOMPARE(far.cell(far.firstDataRow() + 2, far.x() + 10), QString("mm"));
        QVERIFY(far.firstDataRow() + 2 < XlsReportLayout::kMaxRows);
    }

    // A damaged or hand-edited template that pulls everything towards the
    // sheet's last cell: the export stays the size of the report (it used to
    // style every cell up to there, ~1.7e10 cells, gigabytes of temporary
    // sheet) and the workbook reads back.
    void damagedTemplateCannotBlowUpTheSheet() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("imagePos", QPoint(16383, 1048575));
            s.setValue("timePos_UP", QPoint(16383, 1048575));
            s.setValue("strList", QStringList({"edge", "below"}));
            s.setValue("pos_0_UP", QPoint(2147483647, 2147483647));
            s.setValue("pos_1_DOWN", QPoint(-2147483647, 2147483647));
        });
        const XlsReportLayout l = layoutOf(3, true);
        QCOMPARE(QPoint(l.x(), l.y()), QPoint(49, 49));
        QCOMPARE(l.styledColumns(), 100);
        QCOMPARE(l.styledRows(), 100); // 49 + 19 + 3 + 1 rows of table fit in the base grid
        QCOMPARE(l.timeCell(), QPoint(49, 49)); // the title's cell, taken by the time stamp
        QCOMPARE(l.cell(49, 49), QString("edge"));
        QCOMPARE(l.cell(3 + 49 + 31 + 49, 0), QString("below")); // column 49 - 49 = 0
        QCOMPARE(l.rowCount(), 3 + 49 + 31 + 49 + 1);

        const QString path = env->file("damaged.xlsx");
        QVERIFY(l.Write(path, QString(), false));
        QVERIFY(QFileInfo(path).size() < 200 * 1024);
        const QJsonObject book = runReportCheck("reportcheck.py", path);
        QVERIFY2(!book.contains("error"), qPrintable(book["error"].toString()));
        QCOMPARE(book["maxRow"].toInt(), 3 + 49 + 31 + 49 + 1);
        QCOMPARE(book["maxColumn"].toInt(), 100);
        QCOMPARE(cellsOf(book)[cellRef(3 + 49 + 31 + 49, 0)].toString(), QString("below"));
    }

    // ------------------------------------------------------- the workbook

    void workbookOf120RowsReadsBackComplete() {
        writeTemplate("t", [](QSettings& s) {
            s.setValue("imagePos", QPoint(1, 2));
            s.setValue("timePos_DOWN", QPoint(2, 1));
            s.setValue("strList", QStringList({"Corporate: ACME", "Operator:", "=1+1"}));
            s.setValue("pos_0_UP", QPoint(12, 0));
            s.setValue("pos_1_DOWN", QPoint(0, 2));
            s.setValue("pos_2_UP", QPoint(0, 0));
        });
        const QString picture = writeJpeg(env->file("pic.jpg"), 320, 180);
        QVERIFY(!picture.isEmpty());
        const XlsReportLayout l = layoutOf(120, true);
        const QString path = env->file("report.xlsx");
        QVERIFY(l.Write(path, picture, true));

        const QJsonObject book = runReportCheck("reportcheck.py", path);
        QVERIFY2(!book.contains("error"), qPrintable(book["error"].toString()));
        QVERIFY2(book["problems"].toArray().isEmpty(), qPrintable(QJsonDocument(book["problems"].toArray()).toJson()));
        QCOMPARE(book["title"].toString(), QString("sheet"));
        QCOMPARE(book["creator"].toString(), QString("workbook"));
        const QJsonObject cells = cellsOf(book);
        QCOMPARE(cells["B3"].toString(), QString("图 像 测 量 信 息"));
        QCOMPARE(book["merged"].toArray(), QJsonArray({"B3:L3"}));
        QCOMPARE(book["bold"].toArray(), QJsonArray({"B3"}));
        for (int c = 0; c <= 10; ++c)
            QCOMPARE(cells[cellRef(21, 1 + c)].toString(), ReportContent::ColumnName(c, 0));
        for (int r = 0; r < 120; ++r) {
            const int row = 22 + r;
            QCOMPARE(cells[cellRef(row, 1)].toString(), QString("L%1").arg(r + 1));
            for (int j = 0; j < 9; ++j)
                QCOMPARE(cells[cellRef(row, 2 + j)].toString(), QString("%1.%2").arg(r + 1).arg(j));
            QCOMPARE(cells[cellRef(row, 11)].toString(), QString("mm"));
        }
        QVERIFY(!cells.contains(cellRef(142, 1)));
        // Lower anchor: row 120 + 2 + 31 = 153.
        QCOMPARE(cells[cellRef(154, 3)].toString(), QString("2024-03-09 14:05:07"));
        QCOMPARE(cells[cellRef(155, 1)].toString(), QString("Operator:"));
        QCOMPARE(cells["M1"].toString(), QString("Corporate: ACME"));
        QCOMPARE(cells["A1"].toString(), QString("=1+1")); // a text as typed, not a formula
        QCOMPARE(book["formulas"].toInt(), 0);
        const QJsonArray images = book["images"].toArray();
        QCOMPARE(images.size(), 1);
        QCOMPARE(images[0].toObject()["from"].toArray(), QJsonArray({1, 3}));
        QCOMPARE(images[0].toObject()["to"].toArray(), QJsonArray({12, 20}));
        QCOMPARE(book["maxRow"].toInt(), 156);
        QCOMPARE(book["maxColumn"].toInt(), 100);
        // Every cell of the grown grid (142 x 100) is styled: the title centred,
        // the ten cells merged into it not counted, the two cells below it left.
        const QJsonObject aligned = book["aligned"].toObject();
        QCOMPARE(aligned["center"].toInt(), 1);
        QCOMPARE(aligned["left"].toInt(), 142 * 100 - 1 - 10 + 2);
        QCOMPARE(book["widths"].toArray(), QJsonArray({QJsonArray({1, 12, 8.0})})); // columns A..L
    }

    // --------------------------------------------------------- the HTML

    void htmlDeclaresUtf8EscapesAndHoldsEveryRow() {
        MeasureTable table = makeTable(120);
        table.names[3] = "<b>R&D</b>";
        table.values[5] = "1 < 2";
        WordReportTemplate t;
        t.name = "mine";
        t.fields = QStringList({"标题", "副标题", "公司", "产品", "操作员", "日期", "结论 <ok>"});
        const QString picture = writeJpeg(env->file("shot.jpg"), 1000, 750);
        const QString html = ReportContent::BuildHtml(t, 0, table, picture);
        QFile out(env->file("report.html"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(html.toUtf8());
        out.close();
        QVERIFY(!html.contains("<b>R&D"));

        const QJsonObject r = runReportCheck("htmlcheck.py", out.fileName());
        QVERIFY2(!r.contains("error"), qPrintable(r["error"].toString()));
        QCOMPARE(r["charset"].toString().toLower(), QString("utf-8"));
        const QJsonArray headings = r["headings"].toArray();
        QCOMPARE(headings[0].toArray(), QJsonArray({"h1", "标题"}));
        QCOMPARE(headings[1].toArray(), QJsonArray({"h2", "副标题"}));
        QCOMPARE(headings[2].toArray()[1].toString(), "公司" + QString(14, QChar(0x3000)) + "产品");
        QCOMPARE(r["paragraphs"].toArray().last().toString(), QString("结论 <ok>"));
        const QJsonArray images = r["images"].toArray();
        // No logo in the template: its paragraph stays, without a picture
        // (an empty one shows as a broken-image box in Word).
        QCOMPARE(images.size(), 1);
        QVERIFY(html.contains("<body style=\"bgcolor:white\"><p> </p><h1"));
        const QJsonObject pic = images[0].toObject();
        QCOMPARE(pic["type"].toString(), QString("image/jpeg"));
        QCOMPARE(pic["decoded"].toArray(), QJsonArray({1000, 750}));
        QCOMPARE(pic["width"].toString(), QString("560"));
        QCOMPARE(pic["height"].toString(), QString("420"));
        const QJsonArray rows = r["rows"].toArray();
        QCOMPARE(rows.size(), 121);
        QCOMPARE(rows[0].toArray().size(), 10);
        QCOMPARE(rows[0].toArray()[1].toString(), QString("距离"));
        for (int i = 0; i < 120; ++i) {
            const QJsonArray row = rows[i + 1].toArray();
            QCOMPARE(row.size(), 10);
            if (i != 3)
                QCOMPARE(row[0].toString(), QString("L%1").arg(i + 1));
            QCOMPARE(row[9].toString(), QString("%1.8").arg(i + 1));
        }
        QCOMPARE(extractFirstTableName(r, 4), QString("<b>R&D</b>"));
        QCOMPARE(rows[1].toArray()[6].toString(), QString("1 < 2"));
    }

    void wordTemplateLogoAndTheEnglishDefault() {
        QDir().mkpath(AppPaths::appFile("WordTemplate"));
        QImage logo(64, 32, QImage::Format_ARGB32);
        logo.fill(Qt::red);
        QVERIFY(logo.save(AppPaths::appFile("WordTemplate/logo.png")));
        {
            QSettings list(AppPaths::appFile("WordTemplate/List.ini"), QSettings::IniFormat);
            list.setValue("curKey", "lab");
            QSettings t(AppPaths::appFile("WordTemplate/lab.ini"), QSettings::IniFormat);
            for (int i = 0; i < 7; ++i)
                t.setValue(QString(QChar(ushort(i))), QString("字段%1").arg(i));
            t.setValue("Logo", "logo.png");
        }
        const WordReportTemplate lab = WordReportTemplate::ReadCurrent();
        QCOMPARE(lab.name, QString("lab"));
        QCOMPARE(lab.fields.size(), 7);
        QCOMPARE(lab.fields[6], QString("字段6"));
        // A picture that is a PNG under a ".jpg" name goes in as a JPG.
        QImage shot(300, 200, QImage::Format_RGB32);
        shot.fill(Qt::green);
        QVERIFY(shot.save(env->file("shot.jpg"), "PNG"));
        QFile out(env->file("lab.html"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(ReportContent::BuildHtml(lab, 1, makeTable(2), env->file("shot.jpg")).toUtf8());
        out.close();
        QJsonObject r = runReportCheck("htmlcheck.py", out.fileName());
        QVERIFY2(!r.contains("error"), qPrintable(r["error"].toString()));
        QJsonArray images = r["images"].toArray();
        QCOMPARE(images.size(), 2);
        QCOMPARE(images[0].toObject()["type"].toString(), QString("image/png"));
        QCOMPARE(images[0].toObject()["decoded"].toArray(), QJsonArray({64, 32}));
        QCOMPARE(images[1].toObject()["format"].toString(), QString("JPEG"));
        QCOMPARE(images[1].toObject()["decoded"].toArray(), QJsonArray({300, 200}));
        QCOMPARE(r["headings"].toArray()[0].toArray()[1].toString(), QString("字段0"));
        QCOMPARE(r["rows"].toArray()[0].toArray()[1].toString(), QString("Lenght"));

        // "default" in English: the built-in labels; a missing picture is left out.
        WordReportTemplate def = WordReportTemplate::Read("default");
        QCOMPARE(def.fields, QStringList({"", "", "", "", "", "", ""}));
        const QString html = ReportContent::BuildHtml(def, 1, makeTable(1), env->file("missing.jpg"));
        QVERIFY(html.contains("<h1 style=\"text-align:center\" >Tilte:</h1>"));
        QVERIFY(html.contains("<p>Summarize:</p>"));
        QCOMPARE(html.count("<img"), 0);
        QVERIFY(html.contains("<p> </p><h1"));

        // A template name that is no name, and a logo given with a path.
        {
            QSettings list(AppPaths::appFile("WordTemplate/List.ini"), QSettings::IniFormat);
            list.setValue("curKey", "../lab");
            QSettings t(AppPaths::appFile("WordTemplate/lab.ini"), QSettings::IniFormat);
            t.setValue("Logo", "../WordTemplate/logo.png");
        }
        QCOMPARE(WordReportTemplate::ReadCurrent().name, QString("default"));
        const QString viaPath = ReportContent::BuildHtml(WordReportTemplate::Read("lab"), 1, makeTable(1), QString());
        QVERIFY(viaPath.contains("data:image/png;base64, iVBOR"));
        QVERIFY(!ReportContent::IsTemplateName("a.b") && !ReportContent::IsTemplateName("") &&
                ReportContent::IsTemplateName("template_12") && ReportContent::IsTemplateName("报告2"));
    }

    // ------------------------------------------------------ through the hub

    void bothReportsThroughTheHub() {
        QWidget host;
        RegisterMeasureShapes();
        auto* layer = new ItemLayer(&host);
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 960, 540), QSize(1920, 1080));
        for (int i = 0; i < 120; ++i) {
            CLP2P line;
            line.AddPoint(QPointF(100, 100 + i));
            line.AddPoint(QPointF(400, 100 + i));
            line.AddPoint(QPointF(400, 100 + i));
            line.labelNumber = i + 1;
            line.SetLanguage(0);
            layer->measureSystem()->shapeContainer()->AddObject(&line);
        }
        writeTemplate("t", [](QSettings& s) { s.setValue("timePos_UP", QPoint(0, 0)); });
        writeJpeg(env->file("wide.jpg"), 640, 360);
        writeJpeg(env->file("square.jpg"), 400, 300);

        // No camera: the picture's own shape chooses the anchor.
        hub->getAllMeasureData(env->file("wide.xlsx"), env->file("wide"));
        QJsonObject book = runReportCheck("reportcheck.py", env->file("wide.xlsx"));
        QVERIFY2(!book.contains("error"), qPrintable(book["error"].toString()));
        QJsonObject cells = cellsOf(book);
        QCOMPARE(cells["A23"].toString(), QString("直线1"));
        QCOMPARE(cells["B23"].toString(), QString("300.00"));
        QCOMPARE(cells["K23"].toString(), QString("mm"));
        QCOMPARE(cells["A142"].toString(), QString("直线120"));
        QCOMPARE(cells["A1"].toString().size(), 19);
        QCOMPARE(book["images"].toArray()[0].toObject()["to"].toArray(), QJsonArray({11, 20}));
        hub->getAllMeasureData(env->file("square.xlsx"), env->file("square"));
        book = runReportCheck("reportcheck.py", env->file("square.xlsx"));
        QCOMPARE(book["images"].toArray()[0].toObject()["from"].toArray(), QJsonArray({1, 3}));
        // A camera decides by its frame; the unit "pix" reaches the unit column.
        WideCamera camera;
        camera.wide = true;
        hub->setCurCamera(&camera);
        hub->scaleUnitChanged("pix");
        hub->getAllMeasureData(env->file("cam.xlsx"), env->file("square"));
        book = runReportCheck("reportcheck.py", env->file("cam.xlsx"));
        QCOMPARE(book["images"].toArray()[0].toObject()["from"].toArray(), QJsonArray({0, 3}));
        QCOMPARE(cellsOf(book)["K23"].toString(), QString("pix"));
        // Without a picture the table starts right below the title.
        hub->getAllMeasureData(env->file("bare.xlsx"), QString());
        book = runReportCheck("reportcheck.py", env->file("bare.xlsx"));
        QCOMPARE(cellsOf(book)["A5"].toString(), QString("名称"));
        QVERIFY(book["images"].toArray().isEmpty());
        hub->setCurCamera(nullptr);

        QString html = "<!-- before -->";
        hub->getAllMeasureDataWord(html, env->file("wide"));
        QVERIFY(html.startsWith("<!-- before --><html>"));
        QCOMPARE(html.count("<tr>"), 121);
        QVERIFY(html.contains("<th>直线120</th>"));
        QVERIFY(html.contains("data:image/jpeg;base64, "));
    }
};

QTEST_MAIN(ReportContentTest)
#include "tst_report_content.moc"
