// The capture layer: the conformance checks on the simulated backend (and on
// broken stubs that must fail them), the device list and its names, and the
// pure parts of the V4L2 backend.
#include "CaptureConformance.h"
#include "platform/CaptureDevice.h"
#include "platform/SimUsbCamera.h"
#include "platform/V4l2CaptureDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <opencv2/videoio.hpp>

namespace {

// Answers every get with the first value it ever saw set.
class StaleGetCapture : public SimCaptureDevice {
public:
    using SimCaptureDevice::SimCaptureDevice;
    bool set(int prop, double value) override {
        if (!m_first.count(prop))
            m_first[prop] = value;
        return SimCaptureDevice::set(prop, value);
    }
    double get(int prop) override { return m_first.count(prop) ? m_first[prop] : SimCaptureDevice::get(prop); }

private:
    std::map<int, double> m_first;
};

// Opens once only.
class OneShotCapture : public SimCaptureDevice {
public:
    using SimCaptureDevice::SimCaptureDevice;
    bool open(int index, int backend) override { return m_opens++ == 0 && SimCaptureDevice::open(index, backend); }

private:
    int m_opens = 0;
};

// Ignores the pixel-format choice.
class OneFormatCapture : public SimCaptureDevice {
public:
    using SimCaptureDevice::SimCaptureDevice;
    bool selectPixelFormat(int) override { return true; }
};

// Hands out one buffer again and again, writing each frame under whoever
// still holds the last one.
class ReusingCapture : public SimCaptureDevice {
public:
    using SimCaptureDevice::SimCaptureDevice;
    bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) override {
        QByteArray fresh;
        if (!SimCaptureDevice::takeFrame(fresh, capacity, bytes, width, height))
            return false;
        if (m_buffer.size() < bytes)
            m_buffer = QByteArray(int(capacity), '\0');
        std::memcpy(const_cast<char*>(m_buffer.constData()), fresh.constData(), size_t(bytes));
        frame = m_buffer;
        return true;
    }

private:
    QByteArray m_buffer;
};

class CaptureLayer : public ::testing::Test {
protected:
    void SetUp() override { SimUsbBus::instance()->configure("14:fps=0,3:fps=0,3:fps=0:fw=4,6:fps=0"); }
    void TearDown() override { SimUsbBus::instance()->configure(QString()); }
    std::shared_ptr<SimUsbCamera> sim(int i) { return SimUsbBus::instance()->cameras().value(i); }
};

} // namespace

TEST_F(CaptureLayer, SimulatedBackendConforms) {
    auto device = CaptureDevice::create();
    const QStringList failures = captureConformance(*device, 0);
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
}

TEST_F(CaptureLayer, BrokenBackendsFailTheChecks) {
    StaleGetCapture stale(sim(0));
    EXPECT_FALSE(captureConformance(stale, 0).isEmpty());
    OneShotCapture oneShot(sim(0));
    EXPECT_FALSE(captureConformance(oneShot, 0).isEmpty());
    OneFormatCapture oneFormat(sim(0));
    EXPECT_FALSE(captureConformance(oneFormat, 0).isEmpty());
    ReusingCapture reusing(sim(0));
    const QStringList failures = captureConformance(reusing, 0);
    EXPECT_TRUE(failures.filter("a held frame was written").size() == 3) << failures.join("; ").toStdString();
}

TEST_F(CaptureLayer, SimulatedCamerasAreListedWithTheNamesTheScanMatches) {
    const QList<CaptureDeviceInfo> list = CaptureDevice::devices();
    ASSERT_GE(list.size(), 4);
    EXPECT_EQ(list[0].name, "Simulated Sorrin (vid_fea9&pid_5180)");
    EXPECT_EQ(list[1].name, "Simulated Corvo (vid_fea9&pid_5080)");
    EXPECT_EQ(list[2].name, "Simulated Corvo 2 (vid_fea9&pid_5080)");
    EXPECT_EQ(list[3].name, "Simulated Pellam (vid_fea9&pid_6280)");
    EXPECT_TRUE(list[0].simulated);
    EXPECT_EQ(CaptureDevice::deviceNames().mid(0, 4), (QStringList{list[0].name, list[1].name, list[2].name, list[3].name}));
    // Unplugged cameras leave the list; the others move up.
    ASSERT_TRUE(SimUsbBus::instance()->unplug(list[1].name));
    EXPECT_EQ(CaptureDevice::devices().value(1).name, list[2].name);
    ASSERT_TRUE(SimUsbBus::instance()->plug(list[1].name));
    EXPECT_EQ(CaptureDevice::devices().value(1).name, list[1].name);
}

TEST_F(CaptureLayer, OpenByIndexReachesThatCamera) {
    auto device = CaptureDevice::create();
    ASSERT_TRUE(device->open(2));
    device->set(CaptureProp::Contrast, 0xFC * 256 + 0xFF); // read the firmware register
    EXPECT_EQ(int(device->get(CaptureProp::Contrast)) & 0xFF, 4);
    EXPECT_FALSE(device->open(99));
    EXPECT_FALSE(device->isOpened());
}

TEST_F(CaptureLayer, DeviceThatFailsToOpenStaysClosed) {
    SimUsbBus::instance()->configure("5:fail=open");
    auto device = CaptureDevice::create();
    EXPECT_FALSE(device->open(0));
    EXPECT_FALSE(device->isOpened());
    int bytes = 0, w = 0, h = 0;
    uint8_t buf[64];
    EXPECT_FALSE(device->readRaw(buf, sizeof buf, bytes, w, h));
}

TEST(CaptureNames, UsbIdsAreFourLowerCaseHexDigits) {
    EXPECT_EQ(usbDeviceName("Cam", 0xfea9, 0x52c0), "Cam (vid_fea9&pid_52c0)");
    EXPECT_EQ(usbDeviceName("Cam", 0x603, 0x8612), "Cam (vid_0603&pid_8612)");
    EXPECT_EQ(usbDeviceName("Webcam", 0, 0), "Webcam");
}

TEST(CaptureNames, V4l2NameComesFromTheUdevProperties) {
    QMap<QString, QString> props{{"ID_V4L_PRODUCT", "USB Microscope"},
                                 {"ID_VENDOR_ID", "fea9"},
                                 {"ID_MODEL_ID", "5180"},
                                 {"ID_MODEL", "USB_Microscope_2"}};
    EXPECT_EQ(V4l2CaptureDevice::nameFromProperties(props), "USB Microscope (vid_fea9&pid_5180)");
    props.remove("ID_V4L_PRODUCT");
    EXPECT_EQ(V4l2CaptureDevice::nameFromProperties(props), "USB Microscope 2 (vid_fea9&pid_5180)");
    EXPECT_EQ(V4l2CaptureDevice::nodeOf("/dev/video12"), 12);
    EXPECT_EQ(V4l2CaptureDevice::nodeOf("/dev/media0"), -1);
}

TEST(CaptureFormats, PixelFormatCodesMapToFourcc) {
    EXPECT_EQ(fourccForPixelFormat(22), cv::VideoWriter::fourcc('N', 'V', '1', '2'));
    EXPECT_EQ(fourccForPixelFormat(15), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    EXPECT_EQ(fourccForPixelFormat(6), cv::VideoWriter::fourcc('Y', 'U', 'Y', 'V'));
    EXPECT_EQ(fourccForPixelFormat(7), 0);
    for (int code : {22, 15, 6})
        EXPECT_EQ(pixelFormatForFourcc(fourccForPixelFormat(code)), code);
    EXPECT_EQ(pixelFormatForFourcc(cv::VideoWriter::fourcc('Y', 'U', 'Y', '2')), 6);
    EXPECT_EQ(pixelFormatForFourcc(0), -1);
}

TEST(CaptureFormats, V4l2PropertiesKeepTheirStandardNumbers) {
    int cvProp = 0;
    double cvValue = 0;
    for (int prop : {3, 4, 6, 10, 11, 12, 14, 17, 20, 22, 32, 33}) {
        ASSERT_TRUE(V4l2CaptureDevice::mapProperty(prop, 64767, cvProp, cvValue));
        EXPECT_EQ(cvProp, prop);
        EXPECT_EQ(cvValue, 64767); // register words pass unchanged
    }
    ASSERT_TRUE(V4l2CaptureDevice::mapProperty(CaptureProp::AutoExposureOn, 100, cvProp, cvValue));
    EXPECT_EQ(cvProp, cv::CAP_PROP_AUTO_EXPOSURE);
    EXPECT_EQ(cvValue, 3);
    ASSERT_TRUE(V4l2CaptureDevice::mapProperty(CaptureProp::AutoExposureOff, 100, cvProp, cvValue));
    EXPECT_EQ(cvValue, 1);
    // Manual and automatic exposure reach V4L2 as its menu values, not as 0 (auto).
    for (const auto& [given, menu] : std::vector<std::pair<double, double>>{{0.25, 1}, {0.75, 3}, {0, 1}, {1, 3}}) {
        ASSERT_TRUE(V4l2CaptureDevice::mapProperty(CaptureProp::AutoExposure, given, cvProp, cvValue));
        EXPECT_EQ(cvProp, cv::CAP_PROP_AUTO_EXPOSURE);
        EXPECT_EQ(cvValue, menu) << given;
    }
    ASSERT_TRUE(V4l2CaptureDevice::mapProperty(CaptureProp::Exposure, 312, cvProp, cvValue));
    EXPECT_EQ(cvProp, cv::CAP_PROP_EXPOSURE);
    EXPECT_EQ(cvValue, 312);
    EXPECT_FALSE(V4l2CaptureDevice::mapProperty(CaptureProp::OneShotWhiteBalance, 1, cvProp, cvValue));
}

// The camera's rate from the capture times of the frames a capture thread
// took. Where the driver states a rate and every step is a whole number of
// its intervals, the frames fit a camera at that rate, however few of them a
// slow capture thread took: its own steady pace is no rate of the camera's.
TEST(CaptureRate, V4l2RateComesFromTheCaptureTimes) {
    struct Row {
        std::string name;
        std::deque<int64_t> times; // ms
        double stated;             // the driver's rate (0: none)
        double rate;               // frames per second, counted by hand
    };
    const std::vector<Row> rows{
        // 4 steps of 4 intervals in 1067 ms.
        {"a 15/s camera of which the thread took every fourth frame", {0, 267, 533, 800, 1067}, 15, 16000.0 / 1067},
        // 5 steps of 6 intervals in 1001 ms.
        {"a 29.97/s camera stated as 30, every sixth frame taken", {0, 200, 400, 601, 801, 1001}, 30, 30000.0 / 1001},
        // Without a stated rate nothing tells the pace from the camera's.
        {"the same without a stated rate", {0, 267, 533, 800, 1067}, 0, 4000.0 / 1067},
        {"a 7.5/s camera its driver states as 8", {0, 133, 267, 400, 533}, 8, 4000.0 / 533},
        // Stamps 5 ms off the whole numbers: past 2 ms, within 15 % of an interval.
        {"a 15/s camera whose stamps wander, every fourth frame taken", {0, 272, 533, 800, 1067}, 15, 16000.0 / 1067},
        // Steps of 2, 2, 2 and 3 intervals of the shortest step's half.
        {"a 15/s camera read every 150 ms, no stated rate", {0, 133, 267, 400, 600}, 0, 9000.0 / 600},
        // 100 ms steps are no whole number of a 15/s camera's intervals.
        {"a camera slower than its driver states", {0, 100, 200, 300, 400}, 15, 10.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NEAR(V4l2CaptureDevice::rateOfCaptureTimes(row.times, row.stated), row.rate, row.rate * 0.002);
    }
}
