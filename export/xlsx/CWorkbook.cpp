#include "export/xlsx/CWorkbook.h"

#include "export/xlsx/CDrawing.h"
#include "export/xlsx/CWorksheet.h"
#include "export/xlsx/ExportDebris.h"
#include "export/xlsx/ImageSizeReaders.h"
#include "export/zip/ZipArchive.h"
#include "platform/filerules/FileRules.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SimpleXlsx {

namespace {

std::string envText(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// A private folder under the system's temporary folder. The name is made
// unique by mkdtemp, so two workbooks (or two programs) never share one.
// When the folder that TMPDIR names is missing or not writable, /tmp serves.
// The folder is held open and locked (*hold) while the workbook lives; where
// every writer's locks are seen it takes the name of a folder held from its
// making (ExportDebris), so that a killed export's folder goes at the next.
std::string makeTempFolder(int* hold)
{
    std::string pattern;
    for (const std::string& parent : {QDir::tempPath().toStdString(), std::string("/tmp")}) {
        if (parent.empty() || parent[0] != '/')
            continue; // a relative or empty name would land wherever the program runs
        // What killed programs left here goes first; the folder's name
        // carries this program's id for the same reason.
        ExportDebris::sweepTempFolders(parent);
        pattern = parent;
        if (pattern.back() != '/')
            pattern += '/';
        pattern += ExportDebris::folderPrefix() + "XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data())) {
            std::string made(buf.data());
            *hold = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (*hold >= 0 && ::flock(*hold, LOCK_EX | LOCK_NB) == 0 && FileRules::locksAreSeenByAll(parent)) {
                const std::string held = ExportDebris::heldFolderName(made);
                if (std::rename(made.c_str(), held.c_str()) == 0)
                    made = held;
            }
            return made;
        }
    }
    // No folder can be made: the save will fail on its part files.
    return pattern;
}


} // namespace

CWorkbook::CWorkbook(const DualString& author) : m_author(author)
{
    // Every package holds the plain style 0 and the gray125 fill as style 1
    // before any style of the caller.
    CellStyle plain;
    styleRegistry.Register(plain);
    CellStyle gray;
    gray.fill.pattern = 17;
    styleRegistry.Register(gray);

    m_tempFolder = makeTempFolder(&m_tempHold);
    if (m_author.narrow.empty()) {
        std::string user = envText("USERNAME");
        if (user.empty())
            user = envText("USER");
        m_author = DualString(user.empty() ? std::string("Unknown") : user);
    }
    m_paths.reset(new CPathManager(m_tempFolder));
    m_adoptedTemp = QDir(QString::fromStdString(m_tempFolder)).exists();
    if (m_adoptedTemp)
        m_paths->AdoptFolder(m_tempFolder);
}

CWorkbook::~CWorkbook()
{
    // Sheets close their part files first, so that the files can go.
    m_sheets.clear();
    m_drawings.clear();
    m_media.clear();
    m_paths->RemoveAll();
    // A folder that a failed save could not remove (something else was in it
    // then) goes now if it has become empty; a full one is left alone.
    if (m_adoptedTemp)
        ::rmdir(m_tempFolder.c_str());
    if (m_tempHold >= 0)
        ::close(m_tempHold);
}

namespace {
// At most 31 UTF-16 units, without splitting a surrogate pair.
QString cutTitle(QString t, int room)
{
    if (t.size() > room) {
        t.truncate(room);
        if (!t.isEmpty() && t.at(t.size() - 1).isHighSurrogate())
            t.chop(1);
    }
    return t;
}
} // namespace

std::string CWorkbook::SanitizeSheetTitle(const std::string& title)
{
    QString t = QString::fromUtf8(title.data(), int(title.size()));
    for (QChar& c : t)
        if (QStringLiteral("*/:?[\\]").contains(c))
            c = QLatin1Char('_');
    t = cutTitle(t, 31);
    // Excel and LibreOffice refuse a title that begins or ends with an apostrophe.
    while (t.startsWith(QLatin1Char('\'')))
        t.remove(0, 1);
    while (t.endsWith(QLatin1Char('\'')))
        t.chop(1);
    // Excel reserves "History" (any case) for its change tracking and
    // refuses a workbook that uses it.
    if (t.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0)
        t += QLatin1Char('_');
    return t.toStdString();
}

std::string CWorkbook::uniqueSheetTitle(const std::string& legal) const
{
    auto taken = [this](const QString& t) {
        const QString folded = t.toCaseFolded();
        for (const auto& s : m_sheets)
            if (QString::fromStdString(s->GetTitle().narrow).toCaseFolded() == folded)
                return true;
        return false;
    };
    const QString base = QString::fromStdString(legal);
    if (!taken(base))
        return legal;
    for (unsigned k = 2;; ++k) {
        const QString suffix = QStringLiteral(" (%1)").arg(k);
        QString t = cutTitle(base, 31 - suffix.size());
        while (t.endsWith(QLatin1Char('\'')))
            t.chop(1);
        t += suffix;
        if (!taken(t))
            return t.toStdString();
    }
}

CWorksheet& CWorkbook::AddWorksheet(const DualString& title, const std::vector<ColumnWidthRange>& widths)
{
    std::string legal = SanitizeSheetTitle(title.narrow);
    // Titles must differ (ignoring case) within a workbook; an empty one is
    // the sheet's default.
    legal = uniqueSheetTitle(legal.empty() ? std::string("Sheet 1") : legal);
    m_drawings.emplace_back(new CDrawing(m_drawings.size() + 1, *m_paths));
    m_sheets.emplace_back(new CWorksheet(m_nextSheetNumber++, widths, *m_drawings.back(), *m_paths));
    CWorksheet& sheet = *m_sheets.back();
    sheet.SetTitle(DualString(legal));
    sheet.SetSharedStrings(&m_sharedStrings);
    return sheet;
}

bool CWorkbook::InsertImage(CWorksheet& sheet, const std::wstring& path, const ImageAnchor& from,
                            const ImageAnchor& to)
{
    return InsertImage(sheet, ToAnsiString(path), from, to);
}

bool CWorkbook::InsertImage(CWorksheet& sheet, const std::string& path, const ImageAnchor& from,
                            const ImageAnchor& to)
{
    size_t index = 0;
    while (index < m_sheets.size() && m_sheets[index].get() != &sheet) ++index;
    if (index == m_sheets.size() || m_saved)
        return false;
    const MediaFile* media = storeMediaFile(path);
    if (!media)
        return false;
    m_drawings[index]->AddPicture(*media, from, to);
    return true;
}

const MediaFile* CWorkbook::storeMediaFile(const std::string& path)
{
    for (const auto& m : m_media)
        if (m->sourcePath == path)
            return m.get();
    const size_t dot = path.rfind('.');
    if (path.empty() || dot == std::string::npos)
        return nullptr;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const ImageTypeEntry* type = FindImageType(extension);
    if (!type)
        return nullptr;
    // A picture by a name of the user's folder: never a FIFO waited on.
    std::FILE* f = FileRules::openRegularStream(path);
    if (!f)
        return nullptr;
    uint32_t width = 0, height = 0;
    const bool sized = type->reader(f, width, height);
    std::fclose(f);
    if (!sized || width == 0 || height == 0)
        return nullptr;

    std::unique_ptr<MediaFile> media(new MediaFile);
    media->sourcePath = path;
    media->packageName = "image" + std::to_string(m_media.size() + 1) + extension;
    media->type = type->type;
    media->width = width;
    media->height = height;
    if (!m_paths->CopyFileToPart(path, "/xl/media/" + media->packageName)) {
        m_mediaStoreFailed = true; // the picture read: the temporary folder refused it
        return nullptr;
    }
    m_media.push_back(std::move(media));
    return m_media.back().get();
}

bool CWorkbook::SaveAs(const std::wstring& path)
{
    return writePackage(ToAnsiString(path));
}

bool CWorkbook::SaveAs(const std::string& path)
{
    return writePackage(path);
}

bool CWorkbook::writePackage(const std::string& chosen)
{
    if (m_saved || chosen.empty())
        return false;
    // A link at the chosen name (or a chain of them) stays, pointing at the
    // new report: the file it ends at is the one replaced. Another user's
    // link in a shared folder is not followed: nothing is written.
    int refused = 0;
    const std::string path = FileRules::finalTarget(chosen, &refused);
    m_saved = true;
    // A report this process may not change is not replaced either.
    if (refused || !FileRules::mayReplace(path)) {
        m_paths->RemoveAll();
        return false;
    }

    bool ok = writeCoreProps() && writeAppProps() && writeContentTypes() && writeTheme() && writeSharedStrings()
              && writeStyles() && writeWorkbookPart();
    for (size_t i = 0; ok && i < m_sheets.size(); ++i) ok = m_sheets[i]->WritePart();
    for (size_t i = 0; ok && i < m_drawings.size(); ++i) ok = m_drawings[i]->WritePart();
    if (!ok) {
        m_paths->RemoveAll();
        return false;
    }

    // The archive is built beside the target, under a hidden temporary name
    // held while it is written, and moved over it only when complete, so a
    // failed save leaves no half-written file at the target and keeps an
    // older file there. What killed writes left there goes first (the
    // archives of earlier versions too).
    ExportDebris::sweepBeside(path);
    const size_t slash = path.rfind('/');
    FileRules::sweepTemporaries(slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1));
    std::string temp;
    const int held = FileRules::createTemporary(path, &temp);
    if (held < 0)
        temp.clear();
    ZipArchive* zip = temp.empty() ? nullptr : ZipOpenArchive(temp.c_str());
    if (!zip) {
        if (!temp.empty()) {
            ::unlink(temp.c_str());
            ::close(held);
        }
        m_paths->RemoveAll();
        return false;
    }
    for (const std::string& part : m_paths->PartFiles()) {
        const std::string source = m_paths->BasePath() + part;
        if (ZipAddFile(zip, part.c_str() + 1, source.c_str()) != kZipOk) {
            ok = false;
            break;
        }
    }
    if (ZipCloseArchive(zip) != kZipOk)
        ok = false;
    // A report saved over an older one keeps that file's permissions and
    // owner, as every replaced file does.
    if (ok && FileRules::adoptModeAndOwner(held, path) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(temp.c_str());
    ::close(held);
    m_paths->RemoveAll();
    return ok;
}

} // namespace SimpleXlsx
