#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// The files a snapshot leaves on its way to the recent-image list: the
// temporary picture a saver or the camera's SDK writes for the hub to load,
// and the records in ./.scaleImage that let a picture written by a program
// killed before it listed it be listed at the next start.
namespace SnapshotRecords {

// Loads a picture that a saver or the camera SDK has just written at path
// (with or without a suffix), trying "jpg", "bmp", "png" and "tiff" in that
// order, and deletes the file: it was temporary. Returns the suffix of the
// type that loaded (".jpg" ...), or an empty text, leaving the file in place,
// when none did. Any thread.
QString takeWrittenPicture(const QString& path, QImage& image);

// A picture about to be written that the recent list will name: notePending
// records its path and prepared thumbnail in ./.scaleImage before the write,
// dropNote removes the record once the list names it. The record is held
// (locked) by this program until then, so that another program sharing the
// folder leaves it alone. A program killed in between lists the picture at
// its next start (takeLeftovers). Any thread; notePending returns the
// record's path, empty when it cannot be written.
QString notePending(const QString& picture, const QString& preparedThumbnail);
void dropNote(const QString& note);
// Ends the hold of a record whose picture the list names but could not
// write down: the record stays, and the next start lists the picture.
void keepNote(const QString& note);
// A new temporary thumbnail in ./.scaleImage, open for writing as *fd: made
// as every writer's temporary file is (FileRules::createTemporary, so that
// the folder's default ACL and the umask apply), with a hidden name that
// carries this program's id (".new.~<pid>=XXXXXX.jpg"), and held by this
// program until releaseThumbnail, so that no sweep (this program's or one
// sharing the folder) takes it while its save is under way. Returns its
// path; empty, *fd -1, when it cannot be made. Any thread.
QString createThumbnail(int* fd);
// Ends the hold of a thumbnail createThumbnail made, once it has been moved
// to its index's name or removed. Any thread.
void releaseThumbnail(const QString& thumbnail);

// GUI thread, when the recent list is loaded, and again at the next
// snapshot listed while leftoversMayRemain: the pictures of records a killed
// program left, oldest first, that exist on disk in the snapshot folder, each
// with its prepared thumbnail (empty unless it is a temporary thumbnail in
// ./.scaleImage itself). Records naming other files are ignored. Only records
// no live program can own count, as the file rules tell it
// (FileRules::mayTakeLeftover): one a save under way holds stays, with its
// thumbnail. Removes the records taken, their thumbnails not listed, every
// temporary thumbnail no record names once no live program can own it, and
// the temporary files that writes cut short by an ended program left in the
// snapshot folders.
QList<QPair<QString, QString>> takeLeftovers();
// GUI thread: whether the last look at ./.scaleImage left a record or a
// thumbnail that is not this program's and may yet be a leftover (its
// program still ran, or it was too fresh to tell): the next listing looks
// again.
bool leftoversMayRemain();

} // namespace SnapshotRecords
