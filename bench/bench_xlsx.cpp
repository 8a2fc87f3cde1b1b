// Our workbook writer against libxlsxwriter, in the same run: a 1,000-row,
// 11-column report (title row merged, header row, text cells in two styles)
// with two pictures, saved to a file. Prints both times and the ratio.
#include "export/xlsx/CWorkbook.h"
#include "export/xlsx/CWorksheet.h"
#include "export/zip/TestData.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#ifdef SEVRIN_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

double threadCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

constexpr int kRows = 1000;
constexpr int kCols = 11;

std::vector<std::string> makeCells()
{
    std::vector<std::string> cells;
    cells.reserve(kRows * kCols);
    static const char* const names[] = {"Line", "Circle", "Angle", "Rectangle", "Arc", "Point", "Distance"};
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            char text[64];
            if (r == 0)
                std::snprintf(text, sizeof text, c == 0 ? "Measurement report" : "");
            else if (r == 1)
                std::snprintf(text, sizeof text, "Column %d", c + 1);
            else if (c == 0)
                std::snprintf(text, sizeof text, "%s %d", names[r % 7], r - 1);
            else
                std::snprintf(text, sizeof text, "%d.%03d", (r * 37 + c * 11) % 500, (r * 131 + c * 71) % 1000);
            cells.emplace_back(text);
        }
    }
    return cells;
}

double ours(const std::vector<std::string>& cells, const std::string& pic1, const std::string& pic2,
            const std::string& out)
{
    auto t0 = std::chrono::steady_clock::now();
    SimpleXlsx::CWorkbook book("workbook");
    SimpleXlsx::CWorksheet& sheet = book.AddWorksheet("sheet", {{0, 21, 8.0f}});
    SimpleXlsx::CellStyle title;
    title.font.attributes = SimpleXlsx::FONT_BOLD;
    title.alignment.horizontal = SimpleXlsx::ALIGN_H_CENTER;
    const uint64_t t = book.styleRegistry.Register(title);
    SimpleXlsx::CellStyle body;
    body.alignment.horizontal = SimpleXlsx::ALIGN_H_LEFT;
    const uint64_t b = book.styleRegistry.Register(body);
    for (int r = 0; r < kRows; ++r) {
        sheet.OpenRow(0);
        for (int c = 0; c < kCols; ++c) sheet.WriteTextCell(cells[r * kCols + c], r == 0 && c == 0 ? t : b);
        sheet.CloseRow();
    }
    sheet.MergeRange({1, 0}, {1, 10});
    book.InsertImage(sheet, pic1, {11, 0, 1, 0}, {22, 0, 18, 0});
    book.InsertImage(sheet, pic2, {11, 0, 19, 0}, {22, 0, 36, 0});
    const bool ok = book.SaveAs(out);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return ok ? s : -1;
}

#ifdef SEVRIN_HAVE_XLSXWRITER
double reference(const std::vector<std::string>& cells, const std::string& pic1, const std::string& pic2,
                 const std::string& out)
{
    auto t0 = std::chrono::steady_clock::now();
    lxw_workbook* wb = workbook_new(out.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "sheet");
    worksheet_set_column(ws, 0, 21, 8.0, nullptr);
    lxw_format* title = workbook_add_format(wb);
    format_set_bold(title);
    format_set_align(title, LXW_ALIGN_CENTER);
    lxw_format* body = workbook_add_format(wb);
    format_set_align(body, LXW_ALIGN_LEFT);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            const std::string& text = cells[r * kCols + c];
            lxw_format* f = r == 0 && c == 0 ? title : body;
            if (text.empty())
                worksheet_write_blank(ws, r, c, f);
            else
                worksheet_write_string(ws, r, c, text.c_str(), f);
        }
    worksheet_merge_range(ws, 0, 0, 0, 10, cells[0].c_str(), title);
    worksheet_insert_image(ws, 0, 11, pic1.c_str());
    worksheet_insert_image(ws, 18, 11, pic2.c_str());
    const bool ok = workbook_close(wb) == LXW_NO_ERROR;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return ok ? s : -1;
}
#endif

} // namespace

int main()
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const std::string pic1 = base + "/pic1.jpg", pic2 = base + "/pic2.jpg";
    TestData::WriteFile(QString::fromStdString(pic1), TestData::MakeJpeg(1280, 960, 1));
    TestData::WriteFile(QString::fromStdString(pic2), TestData::MakeJpeg(1024, 768, 2));
    const std::vector<std::string> cells = makeCells();

    const int runs = 7;
    double bestOurs = 1e30, bestRef = 1e30, cpuOurs = 0, cpuRef = 0;
    for (int i = 0; i < runs; ++i) {
        double c0 = threadCpuSeconds();
        double a = ours(cells, pic1, pic2, base + "/ours.xlsx");
        if (a >= 0 && a < bestOurs)
            bestOurs = a, cpuOurs = threadCpuSeconds() - c0;
#ifdef SEVRIN_HAVE_XLSXWRITER
        c0 = threadCpuSeconds();
        double b = reference(cells, pic1, pic2, base + "/reference.xlsx");
        if (b >= 0 && b < bestRef)
            bestRef = b, cpuRef = threadCpuSeconds() - c0;
#endif
    }
    std::printf("1,000 x 11 report with two pictures (best of %d)\n", runs);
    std::printf("ours:          %8.2f ms wall, %8.2f ms thread CPU, %lld bytes\n", bestOurs * 1e3, cpuOurs * 1e3,
                static_cast<long long>(QFileInfo(QString::fromStdString(base + "/ours.xlsx")).size()));
#ifdef SEVRIN_HAVE_XLSXWRITER
    std::printf("libxlsxwriter: %8.2f ms wall, %8.2f ms thread CPU, %lld bytes\n", bestRef * 1e3, cpuRef * 1e3,
                static_cast<long long>(QFileInfo(QString::fromStdString(base + "/reference.xlsx")).size()));
    std::printf("time ratio ours / libxlsxwriter: %.2f (target at most 1.5)\n", bestOurs / bestRef);
#else
    std::printf("libxlsxwriter not found: no reference\n");
#endif
    return 0;
}
