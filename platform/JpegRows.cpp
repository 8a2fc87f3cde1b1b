#include "platform/JpegRows.h"

#include <cstdio>
#include <jpeglib.h>
#include <setjmp.h>
#include <vector>

namespace JpegRows {

namespace {

struct Failure {
    jpeg_error_mgr mgr;
    jmp_buf back;
};

void fail(j_common_ptr info) {
    longjmp(reinterpret_cast<Failure*>(info->err)->back, 1);
}

// Where the coded rows of a picture lie: the bytes after the scan header,
// each row's coded bytes without the marker that ends it.
struct Rows {
    int dataStart = -1;
    std::vector<std::pair<int, int>> rows; // offset, length
};

Rows codedRows(const QByteArray& jpeg) {
    Rows r;
    const auto* p = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const int n = jpeg.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return r;
    int i = 2;
    // Marker segments up to the (single) scan.
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return r;
        const int marker = p[i + 1];
        const int length = (p[i + 2] << 8) | p[i + 3];
        if (length < 2 || i + 2 + length > n)
            return r;
        i += 2 + length;
        if (marker == 0xDA)
            break;
    }
    r.dataStart = i;
    int start = i;
    while (i + 1 < n) {
        if (p[i] != 0xFF || p[i + 1] == 0x00) {
            ++i;
            continue;
        }
        const int marker = p[i + 1];
        if (marker >= 0xD0 && marker <= 0xD7) {
            r.rows.emplace_back(start, i - start);
            i += 2;
            start = i;
        } else if (marker == 0xD9) {
            r.rows.emplace_back(start, i - start);
            return r;
        } else {
            ++i; // fill bytes before a marker
        }
    }
    r.dataStart = -1; // no end of picture
    return r;
}

} // namespace

int blockRowHeight(bool chroma422) {
    return chroma422 ? 8 : 16;
}

QByteArray encode(const cv::Mat& bgr, int quality, bool chroma422) {
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return QByteArray();
    jpeg_compress_struct info;
    Failure failure;
    info.err = jpeg_std_error(&failure.mgr);
    failure.mgr.error_exit = fail;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.back)) {
        jpeg_destroy_compress(&info);
        free(out);
        return QByteArray();
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(bgr.cols);
    info.image_height = JDIMENSION(bgr.rows);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = chroma422 ? 1 : 2;
    info.dct_method = JDCT_IFAST;
    info.restart_in_rows = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.ptr<unsigned char>(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray jpeg(reinterpret_cast<const char*>(out), int(size));
    free(out);
    return jpeg;
}

QByteArray splice(const QByteArray& whole, const QByteArray& strip, int firstRow) {
    const Rows w = codedRows(whole), s = codedRows(strip);
    if (w.dataStart < 0 || s.dataStart < 0 || firstRow < 0 ||
        firstRow + int(s.rows.size()) > int(w.rows.size()))
        return QByteArray();
    QByteArray out;
    out.reserve(whole.size() + strip.size());
    out.append(whole.constData(), w.dataStart);
    const int rows = int(w.rows.size());
    for (int k = 0; k < rows; ++k) {
        const bool fromStrip = k >= firstRow && k < firstRow + int(s.rows.size());
        const auto& [offset, length] = fromStrip ? s.rows[size_t(k - firstRow)] : w.rows[size_t(k)];
        out.append((fromStrip ? strip : whole).constData() + offset, length);
        // Restart markers count 0 to 7 over the picture's rows.
        out.append(char(0xFF));
        out.append(char(k + 1 < rows ? 0xD0 + k % 8 : 0xD9));
    }
    return out;
}

} // namespace JpegRows
