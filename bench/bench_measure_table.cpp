// The data table's full refresh against filling the same QTableWidget
// directly, interleaved in one process. Input: 10,000 measurement rows (a
// name every third row, nine value texts of two decimals each), as the engine
// sends them after a scale change. Both start from an emptied table, so the
// timed part is building the rows (through the hub signal for ours). Prints
// best-of wall and thread CPU times and the ratio ours / direct.
#include "app/hub/MessagePassing.h"
#include "panels/measure/DataTableWidget.h"
#include "panels/measure/MeasureDataForm.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kRows = 10000;

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Times {
    double wall = 1e9, cpu = 1e9;
    void keep(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

// The reference: the same ten columns written straight into the widget.
void fillDirectly(QTableWidget* t, const QList<QString>& names, const QList<QString>& values) {
    const int n = names.size();
    t->setRowCount(0);
    t->setRowCount((n / 100 + 1) * 100);
    for (int r = 0; r < n; ++r) {
        t->setItem(r, 0, new QTableWidgetItem(names[r]));
        for (int c = 1; c <= 9; ++c)
            t->setItem(r, c, new QTableWidgetItem(values[9 * r + c - 1]));
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("SEVRIN_APP_DIR", dir.path().toUtf8());
    QDir::setCurrent(dir.path());
    MessagePassing* hub = MessagePassing::instance();
    MeasureDataForm form;
    form.resize(1200, 600);
    form.show();
    QList<QString> names, values;
    for (int r = 0; r < kRows; ++r) {
        names << (r % 3 == 0 ? QString("Line%1").arg(r / 3 + 1) : QString());
        for (int c = 0; c < 9; ++c)
            values << QString::number(double((r * 37 + c * 11) % 5000) / 7.0, 'f', 2);
    }
    Times ours, direct;
    const int runs = 30;
    // Alternate which one goes first, so neither always inherits the other's rows.
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool oursNow = (i + k) % 2 == 0;
            // Each fill starts from an empty table: the other's rows are not its cost.
            form.table()->setRowCount(0);
            app.processEvents();
            const double w = wall(), c = threadCpu();
            if (oursNow)
                hub->updateMeasureData(-1, -1, names, values);
            else
                fillDirectly(form.table(), names, values);
            app.processEvents();
            (oursNow ? ours : direct).keep(wall() - w, threadCpu() - c);
        }
    }
    std::printf("full refresh of %d rows x 10 columns, best of %d, interleaved\n", kRows, runs);
    std::printf("ours:     %8.2f ms wall, %8.2f ms thread CPU\n", ours.wall * 1e3, ours.cpu * 1e3);
    std::printf("directly: %8.2f ms wall, %8.2f ms thread CPU\n", direct.wall * 1e3, direct.cpu * 1e3);
    std::printf("ratio ours / directly: %.2f wall, %.2f CPU (target at most 1.2)\n", ours.wall / direct.wall,
                ours.cpu / direct.cpu);
    return 0;
}
