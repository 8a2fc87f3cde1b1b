#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// File steps shared by everything that saves a snapshot: the picture written
// safely, its thumbnail for the recent-image strip, the recent-list entry and
// the "Error" box when saving fails.
namespace SnapshotFiles {

// Writes image to path in the given Qt format ("jpg", "png", "bmp", "tiff"...)
// at quality 0..100 as FileCommit does: a picture never exists half-written
// under its name, and an older one stays whole when the write fails. False,
// with the reason for the user (in the hub's language) in *error. Any thread.
bool writeImage(const QImage& image, const QString& path, const QByteArray& format, int quality,
                QString* error = nullptr);

// The strip's thumbnail of a picture: 296 pixels high, W x 296 / H wide
// (integer division), fast scaling. Null for a picture without height.
QImage thumbnail(const QImage& picture);
// "./.scaleImage/<index>.jpg"
QString thumbnailPath(int index);
// Writes the thumbnail of picture as a JPEG (quality 90) under a temporary
// name in ./.scaleImage (SnapshotRecords::createThumbnail), held for
// addToHistory to move into place or discardThumbnail to remove; empty on
// failure. Any thread.
QString prepareThumbnail(const QImage& picture);
// Removes a prepared thumbnail whose picture will not be listed (may be
// empty). Any thread.
void discardThumbnail(const QString& preparedThumbnail);

// GUI thread: adds path to the hub's recent-image list and moves the
// prepared thumbnail file (may be empty) to the index's name, replacing an
// old one. Returns the index (-1 when the list is not open). Pictures whose
// records the last look at the list's folder could not yet take
// (SnapshotRecords::leftoversMayRemain) are looked at again first, and
// those taken now are listed before path.
int addToHistory(const QString& path, const QString& preparedThumbnail);

// Saves a new picture the user took (a snapshot, a time-lapse picture) at
// file in format at quality 100, with its thumbnail and recent-list entry
// (listed at the next start should the program be killed before it lists
// it), or the "Error" box. It never replaces nor follows what took the name
// after it was chosen: it moves on to the next free name
// (FileCommit::writeNewImage), which the list then names. clearIcon ends the
// busy state of a single snapshot. Any thread.
void saveNewPicture(const QImage& image, QString file, const QByteArray& format, bool clearIcon);

// Runs fn on the GUI thread, queued (directly when there is no application
// object).
void runOnGuiThread(std::function<void()> fn);

// Tells the user that a picture could not be saved: the program's "Error"
// box, in the hub's language, shown on the GUI thread without blocking the
// caller. Any thread.
void reportSaveError(const QString& path, const QString& reason);
// Why the camera's SDK wrote no picture at path: the folder's problem (as
// WriteProblem words it), or that the camera did not write it, in the hub's
// language. Any thread.
QString folderWriteProblem(const QString& path);
// A snapshot dropped because no frame decoded, in the hub's language.
QString noFrameReason();
// Why a picture the system refused memory for was not saved.
QString noMemoryReason();
// Why a picture the system refused memory or a thread for was not saved:
// the limit of threads or open files when one is reached now
// (ProcessLimits), else noMemoryReason().
QString refusedReason();
// A snapshot of `mode` that ends without its picture. A picture the user
// asked for (snap, dialog, series, the still-image road, the palette's
// Screenshot and Save) is never lost in silence: the error box gives
// `reason`, and the busy state of a single picture ends (a series keeps its
// own until it ends). Streams of frames (stitching, flat field, focus
// stacking) are the caller's. False for those. Any thread.
bool reportUnsaved(const QString& path, int mode, const QString& reason);
// The same for a recording that failed (a full disk, a write error).
void reportRecordingError(const QString& path, const QString& reason);
// Tells the user that the recording into path ended because its camera was
// lost (unplugged); what was recorded until then is kept. Any thread.
void reportRecordingCameraLost(const QString& path);
// GUI thread: a recording that ended by itself (its file could not be
// written any more) returns the capture bar to its idle state, as the stop
// button does; nothing when the bar shows no recording.
void endCaptureOfFailedRecording();
// The box's text for a language index (0 simplified Chinese, 1 English,
// 2 traditional Chinese).
QString saveErrorText(int language, const QString& path, const QString& reason);

} // namespace SnapshotFiles
