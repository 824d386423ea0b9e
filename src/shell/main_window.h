// The main window: owns the state of the run (table, status bar, actions, serial port, the USB
// worker, the four events) and the routines the other parts of the program call on it.
#pragma once

#include "data/archive_record.h"
#include "link/comm.h" // [serial] Comm1
#include "platform/events.h"
#include "shell/string_grid.h"

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QFrame;
class QMenu;

namespace vyz {

enum class MapFormat;

namespace analysis {
class LotAnalysis;
}
class TfrmStatus;
class LinkIndicator;
class USBThread;
class UsbHost;

// Where the records of a commit came from: read-outs and opened files go into the measurement
// history; anything else (the history itself, an empty table) does not.
struct ArchiveSource {
    enum Kind { Other, Usb, Serial, File } kind = Other;
    QString where; // the port's device name or the file's path
};
class StatusButton;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The start-up sequence: settings, language, geometry, layout, ports, the window shown;
    // then, once its first frame is on the screen, the window icon, the start counter, the
    // history, the events and the start-up read on USB (FinishStartup).
    void FormCreate();
    // Opens `path` as the Open command would, once the start-up sequence has ended (a file given
    // on the command line).
    void OpenAfterStartup(const QString& path);
    int NumberColumnWidth() const; // what the fixed columns' widest texts need in the font
    int DateColumnWidth() const;
    int WholeTableWidth(int columns) const; // a first start's window width

    // --- status line (status bar, message history) ---
    // Shows `message` in the status line and appends a time-stamped line to the history.
    void SetStatusBarGeneral(const QString& message);
    // Shows `message` in the status line only and hides the progress bar.
    void SetStatusBarPlain(const QString& message);
    void SetSizeFrmStatus();
    QProgressBar* ProgressBar1() const { return progressBar_; }
    // The link indicator's colour (red, lime, grey; button face at start).
    void SetLinkColour(const QColor& colour);
    QColor LinkColour() const;
    // The second status panel's text (emptied when a USB transfer starts).
    void SetPanel1Text(const QString& text);

    // --- the measurement table ---
    StringGrid* StringGrid1() const { return grid_; }
    void FillDataTable(int order);
    void ClearTable();
    void SetGPSMode(bool on);
    void TitleFill();
    void FormResize();
    // Disables the commands that would change or read the archive while a read-out or fill runs.
    void SetArchiveBusy(bool busy);
    bool ArchiveBusy() const { return archiveBusy_ > 0; }
    // The one way into the archive: every reader of the instrument or of a file prepares its
    // records on its side and hands them over here, on the user-interface thread. The archive is
    // replaced by `count` records (the table cleared, then the layout set when one is given) and
    // the table refilled from it, so save, report and clipboard only ever see a whole archive.
    // `beforeFill` runs once the archive holds the records, before the table is filled (the
    // status lines of a file open).
    void CommitArchive(const ArchiveRecord* records, int count, std::optional<bool> coordinates,
                       const ArchiveSource& source = {},
                       const std::function<void()>& beforeFill = {});
    // Counts the commits: a command that waited in a dialog sees whether the archive changed.
    uint64_t ArchiveGeneration() const { return archiveGeneration_; }

    // --- texts ---
    void MenuFill();
    // The help file of the current language (English until a language is chosen).
    const QString& HelpFileName() const { return helpFileName_; }

    // --- actions and their handlers ---
    QAction* ACopyAll;
    QAction* ACopyCtrlC;
    QAction* ASave;
    QAction* AOpen;
    QAction* APrint;
    QAction* AExit;
    QAction* ARead;
    QAction* ALangRus;
    QAction* ALangEng;
    QAction* AHelp;
    QAction* AAbout;
    QAction* AScreenshot;
    QAction* AUSB;
    std::array<QAction*, 20> ACOM{};

    void ACopyAllExecute();
    void ACopyCtrlCExecute();
    void ASaveExecute();
    void AOpenExecute();
    void APrintExecute();
    [[noreturn]] void AExitExecute();
    void AReadExecute();
    void ALangRusExecute();
    void ALangEngExecute();
    void AHelpExecute();
    void AAboutExecute();
    void AScreenshotExecute();
    void ACOM1Execute(QAction* sender);

    // --- the events shared with the USB worker ---
    std::shared_ptr<AutoResetEvent> hDataRdEvent;
    std::shared_ptr<AutoResetEvent> hDataReadedEvent;
    std::shared_ptr<AutoResetEvent> hScreenRdEvent;
    std::shared_ptr<AutoResetEvent> hScrReadedEvent;

    // --- hooks of the link features, called by the start-up and exit sequences ---
    // [usb] main_window_usb.cpp
    void StartUsbWorker();       // start-up with the stored port "U...": creates the running worker
    void RequestUsbWorkerStop(); // at exit, first: asks the worker to stop
    void ReleaseUsbOnExit();     // then waits up to 500 ms for the worker to unload libusb
    void WaitUsbWorkerEnd();     // at exit, last: waits up to 1000 ms for the worker thread
    void ShutdownUsbWorker();    // the window goes away without the exit sequence (tests)
    void UsbReadHandOff(); // the read command while USB is the selected link: returns at its end
    // The archive read over USB, shared by the read command and the start-up on USB: shown while
    // it waits for the instrument, ended by Stop, by the time bound, or by leaving USB. Read and
    // the archive commands are disabled from the request to its end.
    void BeginUsbRead();
    void PollUsbRead(int waitMs);
    bool UsbReadRunning() const { return usbRead_.active; }
    void LeaveUsb(); // another port is chosen: a pending request is withdrawn
    // The worker's hand-over at the end of a read; false when the read was withdrawn.
    bool CommitUsbArchive(const ArchiveRecord* records, int count, std::optional<bool> coordinates);
    void SelectUsb(); // choosing USB from the port menu: re-binds the transport
    // [serial] main_window_serial.cpp
    void StartupPortSelection(); // start-up: lists the ports, connects the stored port
    void FinishStartup();        // start-up: what the first frame does not show
    void SelectPort(int number); // the operator's choice; 0 = USB
    void ClosePort();            // closes the serial port if it is open
    // Lists the ports, checks that `number` is offered, opens it and checks the instrument,
    // asking Abort (ends the program, exit code 1) / Retry / Ignore at each failure.
    void ConnectPort(int number);
    void FillPortMenu();          // the 20 port actions from PortNumbers / PortCount
    TComm Comm1;                  // the serial port
    QAction* AStopRead = nullptr; // stops a read-out (Esc); shown only while one runs
    // [viewer] docking.cpp: moves docked tool windows with the main window
    void CatchDrag(const QPoint& oldTopLeft, const QPoint& newTopLeft);
    // [files] main_window_files.cpp: opens `path` as the Open command would, without the dialog
    void OpenMeasurementFile(const QString& path);
    // [history] (main_window_history.cpp): opens the history, adds its command to the File menu;
    // a committed read-out is stored there after it has reached the table.
    void StartHistory();
    void HistoryMenuFill();
    void AHistoryExecute();
    void StoreInHistory(const ArchiveSource& source);
    QAction* AHistory = nullptr;

    // [exchange] main_window_exchange.cpp: CSV and map exports of the archive (File menu)
    QAction* AExportCsv = nullptr;
    QAction* AExportMap = nullptr;
    void AddExchangeCommands(QMenu* menu);
    void ExchangeMenuFill();
    void AExportCsvExecute(); // asks for the CSV choices and the file
    void AExportMapExecute(); // asks for the file; its filter or suffix chooses the format
    // Write the export to `path` without asking (a failure is shown); true when written.
    bool ExportCsvTo(const QString& path);
    bool ExportMapTo(const QString& path, MapFormat format);
    // [analysis] main_window_analysis.cpp: the lot analysis follows the table
    void CreateAnalysis();                                     // the menu and the panel
    void AnalysisTableChanged(const int32_t* order, int rows); // after a fill (0 rows: cleared)
    void AnalysisLanguageChanged();
    analysis::LotAnalysis* Analysis() const { return analysis_; }

    TfrmStatus* frmStatus() const { return frmStatus_; }
    void SetFrmStatus(TfrmStatus* window) { frmStatus_ = window; }
    // Shows or hides the message history (a click on the status line).
    void sbStatusClick();
    // Re-places the history window after the main window has moved.
    void FormMouseMove();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void LayoutToolBar();
    void LayoutStatusBar();
    void ApplyColumnWidths();
    bool takeStoredFixedWidths(); // the last start's widths, if measured in the same fonts
    void measureFixedWidths();
    void confirmFixedWidths(); // after the first frame: measured again and stored
    void ApplyLanguage(int index);
    void StringGrid1KeyDown(QKeyEvent* event, bool* handled);

    StringGrid* grid_ = nullptr;
    QWidget* toolPanel_ = nullptr;  // Panel1
    QWidget* panelRight_ = nullptr; // Panel6 (help)
    QWidget* panelExit_ = nullptr;  // Panel7 (exit)
    QFrame* bevel1_ = nullptr;
    std::array<QFrame*, 4> statusPanels_{};
    StatusButton* sbStatus_ = nullptr;
    QLabel* panel1_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    LinkIndicator* shapeLink_ = nullptr;
    TfrmStatus* frmStatus_ = nullptr;
    int archiveBusy_ = 0;
    uint64_t archiveGeneration_ = 0;
    bool exiting_ = false;
    QString helpFileName_;
    QPoint lastFramePos_;
    bool startupPending_ = false; // FinishStartup has yet to run
    // The fixed columns' widths and the fonts they are for; not measured when taken from the
    // settings file.
    struct FixedColumns {
        QString fonts;
        int number = 0, date = 0;
        bool measured = false;
    } fixed_;
    QString startupFile_; // opened when the start-up sequence ends
    QRect normalFrame_;   // outer position and size in the normal (not maximised) state
    QPoint lastMouseMovePos_{-1, -1};

    // --- menus (captions from the language tables; the items are the actions themselves) ---
    QMenu* itmFile = nullptr;
    QMenu* itmDevice = nullptr;
    QMenu* itmParam = nullptr;
    QMenu* itmCOMUSB1 = nullptr;
    QMenu* itmLang = nullptr;
    QMenu* itmHelp = nullptr;

    // --- feature state: each feature adds its members in its own section ---
    // [files] (main_window_files.cpp, main_window_clipboard.cpp)
    // [usb] (main_window_usb.cpp)
    struct UsbRead {
        bool active = false;
        bool polling = false;      // PollUsbRead is running (it may pump events)
        bool waitingShown = false; // the operator was asked to connect the instrument
        uint32_t start = 0;        // tick of the request
        int waitSeconds = 30;      // the bound on waiting for the instrument
    };
    UsbRead usbRead_;
    QTimer* usbReadTimer_ = nullptr;
    // The worker and the host through which it reaches this window, owned by the window and
    // freed when the worker has ended (a worker stuck in a transfer at the end is left running).
    USBThread* usbThread_ = nullptr;
    UsbHost* usbHost_ = nullptr;
    void EndUsbRead(const QString& text);
    void WithdrawUsbRead();
    // [serial] (main_window_serial.cpp)
    static void ApplyDefaultCommSettings(TComm& comm);
    // While a read-out runs, the stop command is offered and the commands that would touch the
    // archive (and with `lockPorts` the port menu) are disabled.
    void SetReadoutRunning(bool running, bool lockPorts);
    QString StoppedText() const;
    void ShowPortError(const std::exception& error);
    QToolButton* btnStopRead_ = nullptr;
    bool stopRead_ = false;
    friend class WindowReadoutHost;
    // [report] (main_window_report.cpp)
    // [viewer] (main_window_viewer.cpp, docking.cpp, about_dialog.cpp)
    // [analysis] (main_window_analysis.cpp)
    void AnalysisMarkRows();
    analysis::LotAnalysis* analysis_ = nullptr;
};

// The process-wide main window (null before it is created).
extern TForm1* Form1;

} // namespace vyz
