// The main window: owns the state of the run (table, status bar, actions, serial port, the USB
// worker, the four events) and the routines the other parts of the program call on it.
#pragma once

#include "platform/events.h"
#include "shell/string_grid.h"

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QFrame;

namespace vyz {

class TfrmStatus;
class LinkIndicator;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The start-up sequence: settings, language, geometry, layout, ports, USB worker, events.
    void FormCreate();

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

    // --- texts ---
    void MenuFill();

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

    TfrmStatus* frmStatus() const { return frmStatus_; }
    void SetFrmStatus(TfrmStatus* window) { frmStatus_ = window; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void LayoutToolBar();
    void StringGrid1KeyDown(QKeyEvent* event, bool* handled);

    StringGrid* grid_ = nullptr;
    QWidget* toolPanel_ = nullptr; // Panel1
    QWidget* panelRight_ = nullptr; // Panel6 (help)
    QWidget* panelExit_ = nullptr;  // Panel7 (exit)
    QPushButton* sbStatus_ = nullptr;
    QLabel* panel1_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    LinkIndicator* shapeLink_ = nullptr;
    TfrmStatus* frmStatus_ = nullptr;
    int archiveBusy_ = 0;
    bool exiting_ = false;

    // --- menus (captions from the language tables; the items are the actions themselves) ---
    QMenu* itmFile = nullptr;
    QMenu* itmDevice = nullptr;
    QMenu* itmParam = nullptr;
    QMenu* itmCOMUSB1 = nullptr;
    QMenu* itmLang = nullptr;
    QMenu* itmHelp = nullptr;

    // --- feature state: each feature adds its members in its own section ---
    // [files]
    // [usb]
    // [serial]
    // [report]
    // [viewer]
};

// The process-wide main window (null before it is created).
extern TForm1* Form1;

} // namespace vyz
