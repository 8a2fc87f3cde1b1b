// The network-camera SDK layer on its simulator: discovery, fault switches,
// the conformance rules every backend must keep, parameters, pictures, card
// and received files.
#include "platform/NetSdkSim.h"
#include "platform/NetSdkSimFrames.h"
#include "platform/WFSdk.h"
#include "tests/support/NetSimInstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace {

uint32_t ipOf(int a, int b, int c, int d) { return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24; }

std::wstring wide(const QString& s) { return s.toStdWString(); }

// Broadcast, initialise and connect camera number 0 to broadcast index `index`.
void connectCamera(int index) {
    ASSERT_EQ(WF_BroadcastCamera(), 0);
    uint32_t ips[WF_MAX_CAMERAS];
    int count = WF_MAX_CAMERAS;
    ASSERT_EQ(WF_BroadcastResult(&count, ips), 0);
    ASSERT_LT(index, count);
    ASSERT_EQ(WF_InitRes(1, 3), 0);
    ASSERT_EQ(WF_InitCameraSingle(0, index, ips[index], WF_CAMERA_PORT), 0);
}

struct Collector {
    std::mutex mutex;
    std::thread::id thread;
    int width = 0, height = 0;
    bool torn = false;
    std::atomic<int> frames{0};
    std::atomic<bool> stopped{false};
    std::atomic<int> afterStop{0};
};

void collect(unsigned char* frame, const WF_FrameInfo* info, void* user) {
    auto* c = static_cast<Collector*>(user);
    if (c->stopped)
        c->afterStop++;
    std::lock_guard<std::mutex> lock(c->mutex);
    c->thread = std::this_thread::get_id();
    c->width = info->width;
    c->height = info->height;
    NetSdkSimFrames::Stamp stamp;
    if (!NetSdkSimFrames::readStamp(frame, info->width, info->height, info->width * 3, &stamp) ||
        stamp.width != info->width || stamp.height != info->height || stamp.serial != info->serial)
        c->torn = true;
    c->frames++;
}

class NetSdkSimTest : public ::testing::Test {
protected:
    void TearDown() override { NetSdk::install(std::make_unique<NetSdkSim>(QList<NetSdkSim::CameraSpec>())); }
};

} // namespace

TEST(NetSdkSimConfig, EntriesKeepTheirOrderAndBadOnesAreSkipped) {
    QStringList errors;
    const auto cameras = NetSdkSim::parseConfig(
        "8@192.168.1.20, 0@10.0.0.5:fps=30,9@1.2.3.4,bad,3@300.1.1.1,2@1.2.3,4@1.2.3.4:fps=0,5@1.2.3.4:zoom=2", &errors);
    ASSERT_EQ(cameras.size(), 3);
    EXPECT_EQ(cameras[0].type, 8);
    EXPECT_EQ(cameras[0].ip, ipOf(192, 168, 1, 20));
    EXPECT_EQ(cameras[0].ip, 0x1401A8C0u); // lowest byte is the first octet
    EXPECT_EQ(cameras[1].type, 0);
    EXPECT_EQ(cameras[1].fps, 30);
    EXPECT_EQ(cameras[2].type, 9); // reported as given; the driver decides
    EXPECT_EQ(errors.size(), 5);
}

TEST(NetSdkSimConfig, EnvironmentGivesCamerasAndFaultSwitches) {
    qputenv("SEVRIN_SIM_NET", "1@10.1.2.3");
    qputenv("SEVRIN_SIM_NET_FAIL", "initres");
    auto sim = NetSdkSim::fromEnvironment();
    qunsetenv("SEVRIN_SIM_NET");
    qunsetenv("SEVRIN_SIM_NET_FAIL");
    EXPECT_EQ(sim->broadcast(), 0);
    int count = 4;
    uint32_t ips[4];
    EXPECT_EQ(sim->broadcastResult(&count, ips), 0);
    EXPECT_EQ(count, 1);
    EXPECT_NE(sim->initRes(1, 3), 0);
}

TEST(NetSdkSimConfig, FrameSizesFollowTheModelTables) {
    EXPECT_EQ(NetSdkSim::frameSizeFor(0, 0), QSize(1920, 1080));
    EXPECT_EQ(NetSdkSim::frameSizeFor(5, 1), QSize(1920, 1080));
    EXPECT_EQ(NetSdkSim::frameSizeFor(7, 2), QSize(3840, 2160));
    EXPECT_EQ(NetSdkSim::frameSizeFor(8, 0), QSize(3840, 2160));
    EXPECT_EQ(NetSdkSim::frameSizeFor(8, 1), QSize(1920, 1080));
    EXPECT_TRUE(NetSdkSim::validResolution(3, 2));
    EXPECT_FALSE(NetSdkSim::validResolution(3, 3));
    EXPECT_FALSE(NetSdkSim::validResolution(8, 2));
    EXPECT_FALSE(NetSdkSim::validResolution(9, 1));
}

TEST_F(NetSdkSimTest, BroadcastReportsCamerasInOrderWithinTheCallersCapacity) {
    installSim("8@192.168.1.20,0@192.168.1.21,9@192.168.1.22");
    ASSERT_EQ(WF_BroadcastCamera(), 0);
    uint32_t ips[2] = {0, 0};
    int count = 2;
    ASSERT_EQ(WF_BroadcastResult(&count, ips), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ips[0], ipOf(192, 168, 1, 20));
    EXPECT_EQ(ips[1], ipOf(192, 168, 1, 21));
    int type = -1;
    EXPECT_EQ(WF_BroadcastResultType(2, &type), 0);
    EXPECT_EQ(type, 9);
    type = 8;
    EXPECT_NE(WF_BroadcastResultType(3, &type), 0);
    EXPECT_EQ(type, 8); // left as preset
}

TEST_F(NetSdkSimTest, ConnectingNeedsResourcesTheRightAddressAndPort) {
    NetSdkSim* sim = installSim("1@10.0.0.1,2@10.0.0.2");
    WF_BroadcastCamera();
    EXPECT_NE(WF_InitCameraSingle(0, 0, ipOf(10, 0, 0, 1), 8554), 0); // before WF_InitRes
    ASSERT_EQ(WF_InitRes(1, 3), 0);
    EXPECT_NE(WF_InitCameraSingle(0, 0, ipOf(10, 0, 0, 2), 8554), 0); // address of another camera
    EXPECT_NE(WF_InitCameraSingle(0, 0, ipOf(10, 0, 0, 1), 80), 0);
    EXPECT_NE(WF_InitCameraSingle(0, 2, ipOf(10, 0, 0, 1), 8554), 0);
    EXPECT_NE(WF_InitCameraSingle(NetSdkSim::maxSessions, 0, ipOf(10, 0, 0, 1), 8554), 0);
    sim->setFailInitCamera(true);
    EXPECT_NE(WF_InitCameraSingle(0, 1, ipOf(10, 0, 0, 2), 8554), 0);
    sim->setFailInitCamera(false);
    EXPECT_EQ(WF_InitCameraSingle(0, 1, ipOf(10, 0, 0, 2), 8554), 0);
    sim->setFailInitRes(true);
    EXPECT_NE(WF_InitRes(1, 3), 0);
}

TEST_F(NetSdkSimTest, CallsOnAnUnconnectedCameraFailWithoutEffect) {
    installSim("1@10.0.0.1");
    float fps = -1.0f;
    EXPECT_NE(WF_GetCameraFrameRate(0, &fps), 0);
    EXPECT_EQ(fps, -1.0f);
    EXPECT_NE(WF_LiveStart(0), 0);
    EXPECT_NE(WF_SetGainR(0, 5), 0);
    int block[WF_PARAM_BLOCK_INTS];
    EXPECT_NE(WF_GetAllParam(0, block), 0);
    EXPECT_NE(WF_GetFrameToImage(0, L"/tmp/never", 1, 0, 0), 0);
    EXPECT_FALSE(QFile::exists("/tmp/never"));
}

// Conformance: repeated open and release; frames on the SDK's own thread with
// the size of the resolution; none after WF_LiveStop returns.
TEST_F(NetSdkSimTest, OpenAndReleaseRepeatWithFramesOnTheSdkThreadOnly) {
    NetSdkSim* sim = installSim("0@10.0.0.9:fps=200");
    for (int round = 0; round < 3; ++round) {
        Collector c;
        connectCamera(0);
        ASSERT_EQ(WF_SetFrameCallBack(0, &collect, &c), 0);
        ASSERT_EQ(WF_SetResolution(0, round == 1 ? 2 : 0), 0);
        ASSERT_EQ(WF_LiveStart(0), 0);
        float fps = 0.0f;
        EXPECT_EQ(WF_GetCameraFrameRate(0, &fps), 0);
        EXPECT_EQ(fps, 200.0f); // reported at once, before any frame
        ASSERT_TRUE(sim->waitFrames(0, 3, 20000));
        ASSERT_EQ(WF_LiveStop(0), 0);
        c.stopped = true;
        const int atStop = c.frames;
        EXPECT_EQ(WF_GetCameraFrameRate(0, &fps), 0);
        EXPECT_EQ(fps, 0.0f);
        // Whatever the thread would still do, it may no longer call back.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(c.afterStop.load(), 0);
        EXPECT_EQ(c.frames.load(), atStop);
        std::lock_guard<std::mutex> lock(c.mutex);
        EXPECT_NE(c.thread, std::this_thread::get_id());
        EXPECT_FALSE(c.torn);
        EXPECT_EQ(QSize(c.width, c.height), round == 1 ? QSize(3840, 2160) : QSize(1920, 1080));
        ASSERT_EQ(WF_UnInitRes(), 0);
        EXPECT_FALSE(sim->initialised());
    }
}

TEST_F(NetSdkSimTest, ClearingTheCallbackEndsCallbacksAtOnce) {
    NetSdkSim* sim = installSim("5@10.0.0.9:fps=500");
    connectCamera(0);
    Collector c;
    WF_SetFrameCallBack(0, &collect, &c);
    WF_LiveStart(0);
    ASSERT_TRUE(sim->waitFrames(0, 2, 20000));
    ASSERT_EQ(WF_SetFrameCallBack(0, nullptr, nullptr), 0);
    c.stopped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.afterStop.load(), 0);
    EXPECT_TRUE(sim->isLive(0));
    WF_LiveStop(0);
}

TEST_F(NetSdkSimTest, StoppingFromInsideTheCallbackDoesNotHang) {
    NetSdkSim* sim = installSim("5@10.0.0.9:fps=500");
    connectCamera(0);
    static std::atomic<int> calls{0};
    calls = 0;
    WF_SetFrameCallBack(0, [](unsigned char*, const WF_FrameInfo*, void*) {
        if (calls++ == 0)
            WF_LiveStop(0);
    }, nullptr);
    WF_LiveStart(0);
    ASSERT_TRUE(sim->waitFrames(0, 1, 20000));
    for (int i = 0; i < 200 && sim->isLive(0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(sim->isLive(0));
    EXPECT_EQ(calls.load(), 1);
    // Starting again joins the ended thread and delivers anew.
    ASSERT_EQ(WF_LiveStart(0), 0);
    ASSERT_TRUE(sim->waitFrames(0, 2, 20000));
    WF_LiveStop(0);
}

// Conformance: a get answers the preceding set, in both record layouts.
TEST_F(NetSdkSimTest, ParameterReadsAnswerThePrecedingSets) {
    installSim("5@10.0.0.1,6@10.0.0.2,8@10.0.0.3");
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        connectCamera(index);
        const bool vosker = index == 1, groupB = index == 2;
        WF_SetExposure(0, 777);
        WF_SetGain_A(0, 12);
        WF_SetGainR(0, 101);
        WF_SetGainG(0, 102);
        WF_SetGainB(0, 103);
        WF_SetContrast(0, 44);
        WF_SetHDR(0, 3);
        WF_SetSharpness(0, 55);
        WF_SetSaturation(0, 9);
        WF_SetBestAe(0, 150);
        WF_SetHFlip(0, 1);
        WF_SetVFlip(0, 0);
        WF_SetBWMode(0, 1);
        WF_Set3DNR(0, 1);
        int id = WF_ParamGainG;
        ASSERT_EQ(WF_GetParam(0, &id), 0);
        EXPECT_EQ(id, 102);
        int block[WF_PARAM_BLOCK_INTS];
        std::fill(block, block + WF_PARAM_BLOCK_INTS, -7);
        ASSERT_EQ(WF_GetAllParam(0, block), 0);
        const int common[11] = {777, 12, 101, 103, 44, 3, 55, 9, 150, 1, 0};
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(block[i], common[i]) << "field " << i;
        if (vosker) {
            EXPECT_EQ(block[11], 1); // black-and-white
            EXPECT_EQ(block[12], 1); // 3D noise reduction
        } else if (groupB) {
            EXPECT_EQ(block[11], 1); // WF_SetBWMode is this group's exposure type
            EXPECT_EQ(block[12], 0);
            WF_SetTemperature(0, 1); // and WF_SetTemperature its black-and-white
            WF_GetAllParam(0, block);
            EXPECT_EQ(block[12], 1);
        } else {
            EXPECT_EQ(block[11], 0);
            EXPECT_EQ(block[12], 1);
        }
        EXPECT_EQ(block[WF_PARAM_BLOCK_INTS - 1], 0);
        WF_SetDoAWB(0, 0, 1, 0, nullptr);
        id = WF_ParamGainR;
        WF_GetParam(0, &id);
        EXPECT_EQ(id, 300);
        id = 99;
        EXPECT_NE(WF_GetParam(0, &id), 0);
        EXPECT_NE(WF_SetResolution(0, 3), 0);
    }
}

TEST_F(NetSdkSimTest, PicturesAreWrittenAtExactlyThePathInTheAskedFormat) {
    installSim("2@10.0.0.1,8@10.0.0.2");
    QTemporaryDir dir;
    connectCamera(0);
    const QString jpg = dir.filePath("shot"), png = dir.filePath("shot_png");
    ASSERT_EQ(WF_GetFrameToImage(0, wide(jpg).c_str(), WF_ImageJpg, 0, 0), 0);
    ASSERT_EQ(WF_GetFrameToImage(0, wide(png).c_str(), WF_ImagePng, 0, 0), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no suffix added
    QImage a, b;
    ASSERT_TRUE(a.load(jpg, "JPG"));
    ASSERT_TRUE(b.load(png, "PNG"));
    EXPECT_EQ(a.size(), QSize(1920, 1080));
    // The mark of the current frame is there, red, in the lossless copy.
    const QPoint mark = NetSdkSimFrames::markPosition(1920, 1080, {}, 0) + QPoint(24, 24);
    EXPECT_EQ(b.pixelColor(mark), QColor(255, 0, 0));
    EXPECT_NE(WF_GetFrameToImage(0, wide(dir.filePath("x")).c_str(), 7, 0, 0), 0);
    EXPECT_NE(WF_GetFrameToImage(0, wide(dir.filePath("no/such/folder/x")).c_str(), 1, 0, 0), 0);

    connectCamera(1);
    ASSERT_EQ(WF_GetFrameToImage(0, wide(jpg).c_str(), WF_ImageJpg, 0, 0), 0);
    ASSERT_TRUE(a.load(jpg, "JPG"));
    EXPECT_EQ(a.size(), QSize(3840, 2160));
}

TEST_F(NetSdkSimTest, MirrorFlipAndBlackWhiteShowInThePicture) {
    installSim("3@10.0.0.1");
    QTemporaryDir dir;
    connectCamera(0);
    const QString path = dir.filePath("p");
    WF_SetHFlip(0, 1);
    WF_SetVFlip(0, 1);
    ASSERT_EQ(WF_GetFrameToImage(0, wide(path).c_str(), WF_ImagePng, 0, 0), 0);
    QImage flipped(path, "PNG");
    WF_SetHFlip(0, 0);
    WF_SetVFlip(0, 0);
    ASSERT_EQ(WF_GetFrameToImage(0, wide(path).c_str(), WF_ImagePng, 0, 0), 0);
    QImage plain(path, "PNG");
    // The specimen turned by 180 degrees (away from the mark and the stamps).
    for (const QPoint p : {QPoint(480, 270), QPoint(1000, 900), QPoint(1440, 200)})
        EXPECT_EQ(flipped.pixel(1919 - p.x(), 1079 - p.y()), plain.pixel(p)) << p.x() << "," << p.y();
    WF_SetBWMode(0, 1);
    ASSERT_EQ(WF_GetFrameToImage(0, wide(path).c_str(), WF_ImagePng, 0, 0), 0);
    const QColor grey = QImage(path, "PNG").pixelColor(1440, 200);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_EQ(grey.green(), grey.blue());
}

TEST_F(NetSdkSimTest, CardPicturesAreDeliveredIntoTheReceiveFolder) {
    NetSdkSim* sim = installSim("4@10.0.0.1");
    QTemporaryDir dir;
    connectCamera(0);
    ASSERT_EQ(WF_GetFrameFromCamera(0, wide(dir.filePath("snap_1")).c_str()), 0);
    EXPECT_EQ(sim->cardFiles(0), QStringList{"snap_1.jpg"});
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // the camera keeps it

    EXPECT_NE(WF_ReceiveFile(0, 1, wide(dir.filePath("missing")).c_str()), 0);
    const QString inbox = dir.filePath("inbox");
    QDir().mkpath(inbox);
    ASSERT_EQ(WF_ReceiveFile(0, 1, wide(inbox).c_str()), 0);
    EXPECT_TRUE(QFile::exists(inbox + "/snap_1.jpg"));
    sim->pressShutter(0);
    ASSERT_EQ(WF_GetFrameFromCamera(0, wide(dir.filePath("snap_1")).c_str()), 0); // same name again
    const QStringList files = QDir(inbox).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{"IMG_0001.jpg", "snap_1.jpg", "snap_1_1.jpg"}));
    QImage picture;
    EXPECT_TRUE(picture.load(inbox + "/IMG_0001.jpg", "JPG"));
    EXPECT_EQ(picture.size(), QSize(1920, 1080));

    ASSERT_EQ(WF_ReceiveFile(0, 0, nullptr), 0);
    sim->pressShutter(0);
    EXPECT_EQ(QDir(inbox).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(sim->receivedFiles(0).size(), 3);
}
