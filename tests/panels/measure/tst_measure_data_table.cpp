// The measurement data table offscreen: rows in blocks of 100, which cells a
// double click opens, what an edit sends, the stale edit connection against
// the real overlay, and the text dialog of text marks.

#include "OverlayHost.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "panels/measure/DataTableWidget.h"
#include "panels/measure/MeasureDataForm.h"
#include "panels/measure/SetTextDialog.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStyle>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QList<QString> nineValues(const QString& length, const QString& rest = "2.50") {
    QList<QString> v{length};
    for (int i = 1; i < 9; ++i)
        v << rest;
    return v;
}

// The overlay moves a line end dragged with the right button.
void drag(QWidget* w, QPoint from, QPoint to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, w->mapToGlobal(from), Qt::RightButton, Qt::RightButton, {});
    QApplication::sendEvent(w, &press);
    for (int i = 1; i <= 4; ++i) {
        const QPoint at = from + (to - from) * i / 4;
        QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::RightButton, {});
        QApplication::sendEvent(w, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, to, w->mapToGlobal(to), Qt::RightButton, Qt::NoButton, {});
    QApplication::sendEvent(w, &release);
}

} // namespace

class MeasureDataTableTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MeasureDataForm> form;
    MessagePassing* hub = nullptr;
    DataTableWidget* table = nullptr;

    void doubleClick(int row, int column) {
        table->scrollToItem(table->item(row, column));
        const QRect r = table->visualItemRect(table->item(row, column));
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, r.center());
    }
    QLineEdit* editor(int row, int column) {
        return qobject_cast<QLineEdit*>(table->indexWidget(table->model()->index(row, column)));
    }
    // Types text into the opened cell and commits it with Return.
    void type(int row, int column, const QString& text) {
        QLineEdit* e = editor(row, column);
        QVERIFY(e);
        e->setText(text);
        QTest::keyClick(e, Qt::Key_Return);
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(1);
        hub->setIsCanMoveItem(true);
        form = std::make_unique<MeasureDataForm>();
        form->resize(1200, 600);
        form->show();
        table = form->table();
    }
    void cleanup() {
        form.reset();
        env.reset();
    }

    void rowsComeInBlocksOfHundred_data() {
        QTest::addColumn<int>("names");
        QTest::addColumn<int>("rows");
        QTest::newRow("none") << 0 << 100;
        QTest::newRow("99") << 99 << 100;
        QTest::newRow("100") << 100 << 200;
        QTest::newRow("150") << 150 << 200;
    }
    void rowsComeInBlocksOfHundred() {
        QFETCH(int, names);
        QFETCH(int, rows);
        QList<QString> n, v;
        for (int i = 0; i < names; ++i) {
            n << QString("L%1").arg(i);
            v << nineValues(QString::number(i));
        }
        hub->updateMeasureData(-1, -1, n, v);
        QCOMPARE(table->rowCount(), rows);
        if (names) {
            QCOMPARE(table->item(names - 1, 0)->text(), QString("L%1").arg(names - 1));
            QCOMPARE(table->item(names - 1, 1)->text(), QString::number(names - 1));
        }
        QVERIFY(!table->item(names, 0));
        QCOMPARE(table->horizontalHeaderItem(9)->text(), QString("D"));
    }

    void partialRefreshRewritesOneShapeAndSelectsIt() {
        QList<QString> n, v;
        for (int i = 0; i < 8; ++i) {
            n << (i == 4 ? "P5" : QString("N%1").arg(i));
            v << nineValues("1.00");
        }
        hub->updateMeasureData(-1, -1, n, v);
        QSignalSpy select(hub, SIGNAL(selectItemFromIndexSignal(int)));
        QList<QString> values;
        for (int i = 0; i < 36; ++i)
            values << QString::number(i);
        hub->updateMeasureData(4, 7, {"P9", "", "", ""}, values);
        QCOMPARE(select.count(), 1);
        QCOMPARE(select[0][0].toInt(), 4);
        QCOMPARE(table->item(4, 0)->text(), QString("P9"));
        QCOMPARE(table->item(5, 0)->text(), QString("N5"));
        QCOMPARE(table->item(7, 9)->text(), QString("35"));
        QCOMPARE(table->item(5, 1)->text(), QString("9"));
    }

    // Long values are shown whole: every column is at least as wide as its
    // text plus the item's margins, after a full and after a partial
    // refresh, and a cell too narrow anyway would lose its end, not its
    // leading digits.
    void longValuesKeepTheirLeadingDigits_data() {
        QTest::addColumn<bool>("partial");
        QTest::newRow("full refresh") << false;
        QTest::newRow("partial refresh") << true;
    }
    void longValuesKeepTheirLeadingDigits() {
        QFETCH(bool, partial);
        QList<QString> n{"Line1", "Rectangle22"}, v = nineValues("1.00") + nineValues("2.00");
        hub->updateMeasureData(-1, -1, n, v);
        const QList<QString> wide = nineValues("193738.6602", "98765432.1234Max");
        if (partial)
            hub->updateMeasureData(1, 1, {"Rectangle22"}, wide);
        else
            hub->updateMeasureData(-1, -1, n, nineValues("1.00") + wide);
        const QFontMetrics fm(table->font());
        const int margins =
            2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        for (int c = 0; c < 10; ++c) {
            const QString text = table->item(1, c)->text();
            QVERIFY2(fm.horizontalAdvance(text) + margins <= table->columnWidth(c), qPrintable(text));
        }
        QCOMPARE(table->item(1, 1)->text(), QString("193738.6602"));
        QCOMPARE(table->textElideMode(), Qt::ElideRight);
    }

    void doubleClickOpensOnlyEditableCells_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("opens");
        QTest::newRow("name") << 0 << 0 << false << false;
        QTest::newRow("length") << 0 << 1 << false << true;
        QTest::newRow("girth") << 0 << 2 << false << false;
        QTest::newRow("area") << 0 << 3 << false << false;
        QTest::newRow("angle") << 0 << 4 << false << true;
        QTest::newRow("radian") << 0 << 5 << false << false;
        QTest::newRow("width") << 0 << 6 << false << true;
        QTest::newRow("height") << 0 << 7 << false << true;
        QTest::newRow("radius 0.00") << 0 << 8 << false << false;
        QTest::newRow("diameter 0.000") << 0 << 9 << false << true;
        QTest::newRow("Avg length") << 1 << 1 << false << false;
        QTest::newRow("angle of an Avg row") << 1 << 4 << false << true;
        QTest::newRow("locked") << 0 << 1 << true << false;
    }
    void doubleClickOpensOnlyEditableCells() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(bool, locked);
        QFETCH(bool, opens);
        QList<QString> first = nineValues("12.50");
        first[7] = "0.00";
        first[8] = "0.000";
        hub->updateMeasureData(-1, -1, {"L1", ""}, first + nineValues("3.25Avg"));
        hub->setIsCanMoveItem(!locked);
        doubleClick(row, column);
        QCOMPARE(editor(row, column) != nullptr, opens);
    }

    void editsAreSentOnce_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("set");
        QTest::newRow("diameter as radius") << 9 << "10" << 8 << 5.0 << true;
        QTest::newRow("length") << 1 << "7.25" << 1 << 7.25 << true;
        QTest::newRow("not a number") << 4 << "abc" << 4 << 0.0 << false;
    }
    void editsAreSentOnce() {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(double, value);
        QFETCH(bool, set);
        hub->updateMeasureData(-1, -1, {"A", "B"}, nineValues("1.00") + nineValues("2.00"));
        QSignalSpy edit(hub, SIGNAL(setMeasureItemDataSignal(int, int, double, bool)));
        doubleClick(1, column);
        type(1, column, typed);
        QTRY_COMPARE(edit.count(), 1);
        QCOMPARE(edit[0], (QList<QVariant>{1, code, value, set}));
        table->item(0, 1)->setText("later"); // no longer connected
        QCOMPARE(edit.count(), 1);
    }

    // An editor closed without a change, or a refresh arriving while a cell is
    // open, must not turn the refresh's writes into edits that move shapes.
    void staleEditConnectionMovesNothing() {
        OverlayHost overlay(QSize(1000, 500), QSize(1003, 500));
        ItemLayer* layer = overlay.layer;
        hub->useMeasureTool(0);
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 100});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {401, 100});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 300});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 455});
        CCLObjectContainer* shapes = layer->measureSystem()->shapeContainer();
        QCOMPARE(shapes->shapes().size(), 2);
        const QVector<QPointF> before0 = shapes->shapes()[0]->points, before1 = shapes->shapes()[1]->points;
        QCOMPARE(table->item(0, 1)->text(), QString("301.90"));
        QSignalSpy edit(hub, SIGNAL(setMeasureItemDataSignal(int, int, double, bool)));

        QTest::mouseClick(layer, Qt::RightButton, {}, {700, 400}); // no tool any more
        // An editor closed unchanged, then a line dragged longer: the engine
        // re-sends its rows, which must not come back as an edit.
        doubleClick(0, 1);
        QTest::keyClick(editor(0, 1), Qt::Key_Escape);
        QTRY_VERIFY(!editor(0, 1));
        drag(layer, {401, 100}, {451, 100});
        const QVector<QPointF> dragged0 = shapes->shapes()[0]->points;
        QVERIFY(dragged0 != before0);
        // The same while a cell is open.
        doubleClick(1, 1);
        QVERIFY(editor(1, 1));
        drag(layer, {100, 455}, {100, 480});
        const QVector<QPointF> dragged1 = shapes->shapes()[1]->points;
        QVERIFY(dragged1 != before1);
        QCoreApplication::processEvents();
        QCOMPARE(edit.count(), 0);
        QVERIFY(!editor(1, 1));
        QCOMPARE(shapes->shapes()[0]->points, dragged0);
        QCOMPARE(shapes->shapes()[1]->points, dragged1);

        // A real edit moves the line and comes back as its new length.
        doubleClick(1, 1);
        type(1, 1, "200");
        QTRY_COMPARE(edit.count(), 1);
        QCOMPARE(table->item(1, 1)->text(), QString("200.00"));
        QVERIFY(shapes->shapes()[1]->points != dragged1);
    }
    void textDialogGivesTheTypedLineOrNothing_data() {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("result");
        QTest::newRow("ok") << true << " note 1 ";
        QTest::newRow("cancel") << false << "";
    }
    void textDialogGivesTheTypedLineOrNothing() {
        QFETCH(bool, ok);
        QFETCH(QString, result);
        bool onTop = false;
        QString prompt;
        answerNextModal("QDialog", [&](QWidget* w) {
            onTop = w->windowFlags() & Qt::WindowStaysOnTopHint;
            prompt = w->findChild<QLabel*>("label")->text();
            w->findChild<QLineEdit*>("lineEdit")->setText(" note 1 ");
            w->findChild<QPushButton*>(ok ? "pushButton" : "pushButton_2")->click();
        });
        QCOMPARE(SetTextDialog::askText(), result);
        QVERIFY(onTop);
        QCOMPARE(prompt, QString("Please enter Text:"));
    }
};

QTEST_MAIN(MeasureDataTableTest)
#include "tst_measure_data_table.moc"
