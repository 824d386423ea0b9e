// Times the USB read-out of a full archive from the simulated instrument: the read command's
// hand-off, the worker's exchange (transfers through the real libusb and the emulated usbfs,
// storing, synchronised calls into the window) and the table fill, split into the worker's fixed
// pauses and the rest.
//
//   LD_PRELOAD=build/sim/usbfs/libvyz_usbfs.so build/bench/usb_readout/bench_usb_readout [runs]
#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "link/libusb_transport.h"
#include "link/usb_shared.h"
#include "link/usb_worker.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <vector>

using namespace vyz;

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!::dlsym(RTLD_DEFAULT, "vyz_usbfs_active")) {
        std::fprintf(stderr, "run with LD_PRELOAD=<build>/sim/usbfs/libvyz_usbfs.so\n");
        return 1;
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    QTemporaryDir dir;
    const QString archive = dir.filePath("full.vyz");
    {
        QFile f(archive);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(reinterpret_cast<const char*>(CoordinatesMarker), MarkerSize);
        for (int i = 0; i < ArchiveCapacity; ++i) {
            ArchiveRecord r{};
            r.RecordNo = static_cast<uint16_t>(i + 1);
            r.Day = 1;
            r.Month = 1;
            r.Density = 2300.0f + static_cast<float>(i % 100);
            r.RefDensity = 2450.0f;
            r.Latitude = static_cast<int32_t>(5545u << 16);
            f.write(reinterpret_cast<const char*>(&r), sizeof r);
        }
    }
    const QString conf = dir.filePath("usbsim.conf");
    {
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(("archive=" + archive + "\n").toUtf8());
    }
    qputenv("VYZ_USBSIM_CONFIG", conf.toLocal8Bit());
    qputenv("USB_DEVFS_PATH", dir.filePath("usbfs").toLocal8Bit());

    TForm1 form;
    form.hDataRdEvent = std::make_shared<AutoResetEvent>(false);
    form.hDataReadedEvent = std::make_shared<AutoResetEvent>(false);
    form.hScreenRdEvent = std::make_shared<AutoResetEvent>(false);
    form.hScrReadedEvent = std::make_shared<AutoResetEvent>(false);
    form.StartUsbWorker();
    QElapsedTimer wait;
    wait.start();
    while (UsbState.load() != usIdle && wait.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    if (UsbState.load() != usIdle) {
        std::fprintf(stderr, "the worker did not bind the library\n");
        return 1;
    }

    std::vector<double> totals, pauses;
    for (int run = 0; run < runs; ++run) {
        const int64_t paused = UsbPausedMicroseconds.load();
        QElapsedTimer t;
        t.start();
        form.UsbReadHandOff();
        const double total = static_cast<double>(t.nsecsElapsed()) / 1e6;
        if (DataReadResult.load() != usbResultDone || RecordCount.load() != ArchiveCapacity) {
            std::fprintf(stderr, "read-out failed (result %d, %d records)\n", DataReadResult.load(),
                         RecordCount.load());
            return 1;
        }
        totals.push_back(total);
        pauses.push_back(static_cast<double>(UsbPausedMicroseconds.load() - paused) / 1e3);
        std::printf("run %d: %8.1f ms total, %8.1f ms fixed pauses, %8.1f ms rest\n", run + 1,
                    total, pauses.back(), total - pauses.back());
    }
    std::vector<double> rest;
    for (size_t i = 0; i < totals.size(); ++i)
        rest.push_back(totals[i] - pauses[i]);
    std::sort(rest.begin(), rest.end());
    std::printf("%d coordinate records; rest (transfers, storing, window calls, table fill): "
                "median %.1f ms, best %.1f ms\n",
                ArchiveCapacity, rest[rest.size() / 2], rest.front());
    form.RequestUsbWorkerStop();
    form.ReleaseUsbOnExit();
    form.WaitUsbWorkerEnd();
    return 0;
}
