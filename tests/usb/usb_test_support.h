// Shared pieces of the USB tests: the simulated instrument's scenario file, measurement files for
// it to serve, and a recording host that stands in for the main window.
#pragma once

#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "link/usb_worker.h"
#include "support/records.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace usbtest {

// The worker's pauses shortened, so a test does not wait seconds for each exchange.
inline vyz::UsbPauses FastPauses() {
    vyz::UsbPauses p;
    p.start = 20;
    p.pass = 5;
    p.idle = 10;
    p.eventLook = 2;
    p.afterIdentityCommand = 2;
    p.afterIdentity = 2;
    p.beforeScreen = 2;
    p.screenSearch = 50;
    p.redFlash = 2;
    return p;
}

// The record the simulator serves as record i: every field distinct, coordinates included.
inline vyz::ArchiveRecord SampleRecord(int i) {
    return testsupport::MakeRecord({.number = 100 + i,
                                    .second = i % 60,
                                    .minute = 30,
                                    .hour = 12,
                                    .day = 1 + i % 28,
                                    .month = 6,
                                    .year = 24,
                                    .material = i % 5,
                                    .depth = 50,
                                    .density = 2300.5f + static_cast<float>(i),
                                    .refDensity = 2400.25f,
                                    .temperature = 120.5f,
                                    .latitude = 0x0DAC1234 + i,
                                    .longitude = 0x25E05678 + i,
                                    .tail = 0xBEE0 + i});
}

// The 24 bytes a plain file (and the instrument without a receiver) carries: bytes 0..21 and
// the tail word.
inline std::vector<uint8_t> PlainBytes(const vyz::ArchiveRecord& r) {
    const vyz::PlainRecord plain = vyz::PlainRecordOf(r);
    return {plain.begin(), plain.end()};
}

// Writes a measurement file of `count` sample records in the plain or the coordinates layout.
inline void WriteArchiveFile(const QString& path, int count, bool coordinates) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (coordinates)
        f.write(reinterpret_cast<const char*>(vyz::CoordinatesMarker), vyz::MarkerSize);
    for (int i = 0; i < count; ++i) {
        const vyz::ArchiveRecord r = SampleRecord(i);
        if (coordinates)
            f.write(reinterpret_cast<const char*>(&r), 32);
        else
            f.write(reinterpret_cast<const char*>(PlainBytes(r).data()), 24);
    }
}

// The simulated instrument's scenario file. The test runs the real libusb-0.1.so.4 over the
// emulated kernel side (sim/usbfs, preloaded by CTest), which keeps the device tree in this
// folder; both paths are given once per process, before the library is loaded.
class SimScenario {
public:
    SimScenario() {
        if (!::dlsym(RTLD_DEFAULT, "vyz_usbfs_active"))
            qFatal("run with LD_PRELOAD naming sim/usbfs/libvyz_usbfs.so (the emulated usbfs)");
        configPath = dir.filePath("usbsim.conf");
        tracePath = dir.filePath("trace.txt");
        qputenv("VYZ_USBSIM_CONFIG", configPath.toLocal8Bit());
        qputenv("USB_DEVFS_PATH", dir.filePath("usbfs").toLocal8Bit());
    }
    // Writes the scenario (key=value lines) and empties the trace.
    void Set(const QStringList& lines) {
        QFile::remove(tracePath);
        // Replaced in one step: a running worker's simulator never reads half a scenario.
        const QString temporary = configPath + ".new";
        QFile f(temporary);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((lines.join('\n') + "\ntrace=" + tracePath + "\n").toUtf8());
        f.close();
        QCOMPARE(std::rename(QFile::encodeName(temporary).constData(),
                             QFile::encodeName(configPath).constData()),
                 0);
    }
    QStringList Trace() const {
        QFile f(tracePath);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QString ArchivePath(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QString configPath;
    QString tracePath;
};

// Records every call of the worker as one line: "status:...", "plain:...", "progress:N",
// "link:N", "commit:N:coords|plain|keep", "panel", "progress-start", "progress-hide". A commit
// replaces the archive as the main window does, unless the host refuses it (acceptCommits).
class RecordingHost : public vyz::UsbHost {
public:
    vyz::UsbEvents events;

    void ShowStatus(const std::string& t) override { add("status:" + t); }
    void ShowPlain(const std::string& t) override { add("plain:" + t); }
    void ProgressStart() override { add("progress-start"); }
    void ProgressSet(int p) override { add("progress:" + std::to_string(p)); }
    void ProgressHide() override { add("progress-hide"); }
    uint32_t LinkColour() override {
        std::lock_guard lock(mutex_);
        return colour_;
    }
    void SetLinkColour(uint32_t c) override {
        {
            std::lock_guard lock(mutex_);
            colour_ = c;
        }
        add("link:" + std::to_string(c));
    }
    void ClearPanel() override { add("panel"); }
    bool CommitArchive(const vyz::ArchiveRecord* records, int count,
                       std::optional<bool> coordinates) override {
        add("commit:" + std::to_string(count) + ":" +
            (!coordinates   ? "keep"
             : *coordinates ? "coords"
                            : "plain"));
        if (!acceptCommits) return false;
        if (coordinates) vyz::GPSModeFlag = *coordinates;
        std::memcpy(vyz::MeasurementArchive, records, sizeof(vyz::ArchiveRecord) * size_t(count));
        vyz::RecordCount = count;
        return true;
    }
    std::atomic<bool> acceptCommits{true};
    vyz::UsbEvents Events() override {
        std::lock_guard lock(mutex_);
        return events;
    }

    QStringList Calls() {
        std::lock_guard lock(mutex_);
        QStringList out; // deep copies: nothing shared with the worker's thread
        for (const std::string& c : calls_)
            out << QString::fromStdString(c);
        return out;
    }
    QStringList CallsStarting(const QString& prefix) {
        QStringList out;
        for (const QString& c : Calls())
            if (c.startsWith(prefix)) out << c;
        return out;
    }
    void Forget() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    void add(const std::string& line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(line);
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    uint32_t colour_ = 0;
};

} // namespace usbtest
