#include "imaging/ThreadHistory.h"

#include "app/hub/PictureSizeLimit.h"

#include <QLabel>
#include <QPixmap>

ThreadHistory::ThreadHistory(QObject* parent) : QThread(parent) {
    connect(this, &ThreadHistory::thumbnailReady, this, &ThreadHistory::deliver, Qt::QueuedConnection);
}

ThreadHistory::~ThreadHistory() {
    stop();
    wait();
}

void ThreadHistory::addItem(const QString& path, QLabel* label) {
    if (thumbHeight == 33 && label)
        thumbHeight = label->height();
    pathList.append(path);
    labelList.append(label);
}

void ThreadHistory::clearItems() {
    thumbHeight = 33;
    isRun = true;
    ++generation; // thumbnails of an earlier reload still on their way are dropped
    pathList.clear();
    labelList.clear();
    std::lock_guard<std::mutex> lock(skipMutex);
    skipList.clear();
}

void ThreadHistory::skipLabel(QLabel* label) {
    int position = -1;
    for (int i = 0; i < labelList.size(); ++i)
        if (labelList[i] == label) {
            position = i;
            break;
        }
    std::lock_guard<std::mutex> lock(skipMutex);
    skipList.append(position);
}

void ThreadHistory::run() {
    const int gen = generation.load();
    const int height = thumbHeight;
    for (int i = 0; i < pathList.size(); ++i) {
        bool skip;
        {
            std::lock_guard<std::mutex> lock(skipMutex);
            skip = skipList.contains(i);
        }
        // A thumbnail file whose header claims more than a thumbnail, or a
        // FIFO at its name, is left out.
        if (!skip) {
            QImage image = PictureSizeLimit::readThumbnail(pathList[i]);
            if (!image.isNull())
                image = image.scaledToHeight(height, Qt::SmoothTransformation);
            emit thumbnailReady(gen, i, image);
        }
        if (!isRun)
            break;
    }
    quit();
}

void ThreadHistory::deliver(int gen, int position, QImage image) {
    if (gen != generation.load() || position < 0 || position >= labelList.size())
        return;
    {
        std::lock_guard<std::mutex> lock(skipMutex);
        if (skipList.contains(position))
            return;
    }
    if (QLabel* label = labelList[position])
        label->setPixmap(QPixmap::fromImage(image));
}
