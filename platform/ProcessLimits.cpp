#include "platform/ProcessLimits.h"

#include "platform/WriteProblem.h"

#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {
void* nothing(void*) {
    return nullptr;
}
} // namespace

int ProcessLimits::threadError() {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return 0;
    pthread_attr_setstacksize(&attr, 64 * 1024);
    pthread_t thread;
    const int error = pthread_create(&thread, &attr, nothing, nullptr);
    pthread_attr_destroy(&attr);
    if (error == 0)
        pthread_join(thread, nullptr);
    return error;
}

int ProcessLimits::fileError() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno == EMFILE || errno == ENFILE ? errno : 0;
}

QString ProcessLimits::reason(int error, int language) {
    switch (error) {
    case EAGAIN:
        return WriteProblem::pick(
            language, "线程数已达上限，系统不再为该用户创建线程",
            "The limit of threads is reached: the system makes no more threads for this user",
            "執行緒數已達上限，系統不再為該使用者建立執行緒");
    case EMFILE:
    case ENFILE:
        return WriteProblem::pick(language, "打开的文件数已达上限，不能再打开文件",
                                  "The limit of open files is reached: no more files can be opened",
                                  "開啟的檔案數已達上限，不能再開啟檔案");
    default:
        return QString();
    }
}

int ProcessLimits::reachedNow() {
    const int thread = threadError();
    return thread == EAGAIN ? thread : fileError();
}
