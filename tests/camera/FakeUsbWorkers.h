#pragma once

#include "camera/UVCCamera.h"

#include <QImage>
#include <QList>
#include <QString>

// Worker threads for driver tests: no threads at all. A decoder decodes at
// once (or holds its job until release()), a saver records what it was asked
// to save (and may stay busy), a recorder keeps the frames pushed to it.
// Everything runs on the test's thread; the knobs and records are public.
struct FakeUsbWorkers {
    struct Saved {
        QString path;
        int mode = 0;
        QImage image;
        QString className;
        ThreadJingShenHigh* consumer = nullptr;
    };

    // Knobs.
    bool holdDecodes = false;  // decoders stay busy until releaseDecodes()
    bool failDecodes = false;  // decoders end without a picture
    bool refuseDecodes = false; // decoders cannot begin (no memory, no thread)
    bool holdSaves = false;    // savers stay busy until releaseSaves()

    // Records.
    int decodersMade = 0;
    int saversMade = 0;
    int decodeJobs = 0;
    int cancelledDecodes = 0; // busy jobs ended by cancel(), without a picture
    QList<Saved> saved;
    QList<Saved> refused; // jobs whose saver was told the system refused them
    QList<RawFrame> decodeInputs;       // the frames handed to decoders (shared buffers)
    QList<QByteArray> decodeInputCopies; // their bytes at hand-over
    QList<RawFrame> recorded;
    QList<QByteArray> recordedCopies;
    QList<UsbRecordSettings> recordings;

    // Install into the driver (and uninstall on destruction).
    FakeUsbWorkers();
    ~FakeUsbWorkers();
    void releaseDecodes(); // completes every held job
    void releaseSaves();   // ends every busy save
    bool recorderStopsAtOnce = true;
    void finishRecorders(); // recorders that were asked to stop end their file

    struct Impl;
    Impl* impl;
};
