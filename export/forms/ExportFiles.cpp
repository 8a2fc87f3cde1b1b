#include "export/forms/ExportFiles.h"

#include "platform/filerules/FileRules.h"
#include "platform/FileCommit.h"
#include "platform/WriteProblem.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace ExportFiles {

namespace {

QString copyThenReplace(const QString& from, const QString& to, int language) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return WriteProblem::pick(language, "无法读取报告：", "The report could not be read: ", "無法讀取報告：") + from;
    FileCommit out(to, in.size());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty())
        if (!out.write(chunk))
            break;
    if (in.error() != QFileDevice::NoError)
        return WriteProblem::pick(language, "无法读取报告：", "The report could not be read: ", "無法讀取報告：") + from;
    return out.commit(language);
}

// Within one filesystem the report itself takes the target's place: first it
// gets what the replaced file keeps (its permissions and owner), as every
// replacing writer gives it. 0 when done, else errno; the report's own mode
// and owner are then as they were, or as far as the failing step left them.
int takeOverModeAndOwner(const QString& from, const QString& target) {
    const QByteArray name = QFile::encodeName(target);
    if (!FileRules::mayReplace(name.toStdString()))
        return EACCES;
    const int fd = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = FileRules::adoptModeAndOwner(fd, name.toStdString());
    ::close(fd);
    return error;
}

} // namespace

bool moveReplacing(const QString& from, const QString& to, int language, QString* why) {
    // A link at to (or a chain of them) stays: the file it ends at is replaced.
    const QString target = FileCommit::finalTarget(to);
    // rename(2) replaces an existing target in one step.
    int renameError = takeOverModeAndOwner(from, target);
    if (renameError == 0) {
        if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(target).constData()) == 0)
            return true;
        renameError = errno;
    }
    const QString failure =
        renameError == EXDEV ? copyThenReplace(from, target, language)
                             : WriteProblem::explain(target, renameError, language, QFileInfo(from).size());
    if (failure.isEmpty()) {
        QFile::remove(from); // the copy is whole under its name: the temporary workbook goes
        return true;
    }
    if (why)
        *why = failure;
    return false;
}

} // namespace ExportFiles
