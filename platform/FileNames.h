#pragma once

#include <QString>

// File-name helpers shared by the capture bar, the snapshot settings, the
// time-lapse capture and other panels that name new files, and by the writer
// of a new file (FileCommit), which moves on to the next name when the one
// handed out was taken before the file was made. GUI thread or any thread:
// the reservation table is locked.

// a followed by b, nothing inserted.
QString joinPath(QString a, QString b);

// A base name (without ext) such that neither a file (or a link, dangling
// or not) base + ext exists nor the
// name was handed out earlier and is still unwritten: base itself when free,
// else base + "_001", "_002", ... ("_1000" after "_999"). The name returned is
// reserved until a file of that name exists, so two requests made before the
// first file is written get two names. Callers append ext themselves.
QString makeUniqueFileName(QString base, QString ext);

// True when name can be used as one file name inside a folder: not empty, not
// "." or "..", no path separator and none of < > : " | ? * or control
// characters, no leading or trailing blank. Names typed by the user or scanned
// from a barcode pass this test before they become part of a path.
bool isSafeFileName(const QString& name);
