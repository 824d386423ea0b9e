#include "shell/main_window.h"

#include "data/archive_record.h"
#include "data/lang_texts.h"
#include "data/record_text.h"
#include "data/table_layout.h"
#include "data/text_pair.h"
#include "link/usb_shared.h"
#include "platform/ini_file.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/usb_log.h"
#include "report/report_language.h"
#include "shell/clipboard_handover.h"
#include "shell/image_list.h"
#include "shell/language_chooser.h"
#include "shell/startup_settings.h"
#include "shell/status_button.h"
#include "shell/status_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

namespace vyz {

TForm1* Form1 = nullptr;

namespace {

// Entry i names the archive record shown in table row i + 2.
int32_t RowOrder[ArchiveCapacity];

QString tr8(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Grid geometry inside the client area (the client area holds the tool bar, the table and the
// status bar, below the menu).
constexpr int GridTop = 42;
constexpr int StatusBarHeightMin = 19;
// How long closing waits for the clipboard manager to take the clipboard.
constexpr int ClipboardHandOverMs = 1000;
// How long the start-up waits for the window's first frame before it goes on without it.
constexpr int FirstFrameWaitMs = 500;

} // namespace

// The round link indicator in the status bar.
class LinkIndicator : public QWidget {
public:
    explicit LinkIndicator(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("PanelShapeLink"));
        setFixedSize(12, 13);
        colour_ = palette().color(QPalette::Button);
    }
    void setColour(const QColor& c) {
        colour_ = c;
        update();
    }
    QColor colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::black);
        p.setBrush(colour_);
        p.drawEllipse(QRectF(1.5, 2.5, 8, 8));
    }

private:
    QColor colour_;
};

TForm1::TForm1() {
    Form1 = this;
    // The USB request event starts signalled; only a start on USB wants what it asks for.
    ArchiveReadWanted = false;
    ApplyDefaultCommSettings(Comm1);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr8("VYZ. Плотномер асфальта"));
    setMinimumSize(454, 307);
    resize(482, 363);
    move(194, 155);
    auto* central = new QWidget(this);
    central->setMouseTracking(true);
    central->installEventFilter(this);
    setCentralWidget(central);
    bevel1_ = new QFrame(central);
    bevel1_->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    grid_ = new StringGrid(central);
    grid_->setObjectName("StringGrid1");
    grid_->setAccessibleName(QStringLiteral("StringGrid1"));
    connect(grid_, &StringGrid::keyPressed, this, &TForm1::StringGrid1KeyDown);
    // The scroll bar coming or going changes the room the columns share.
    connect(grid_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &TForm1::ApplyColumnWidths);
    helpFileName_ = QString::fromStdString(DataFilePath("Help/Vyz1EngHelp.html"));
    createActions();
    createMenus();
    CreateAnalysis();
    createToolBar();
    createStatusBar();
}

TForm1::~TForm1() {
    // The program itself ends through AExitExecute and never gets here; a window destroyed
    // otherwise must not leave a worker that still calls into it.
    ShutdownUsbWorker();
    if (Form1 == this) Form1 = nullptr;
    // The table's scroll bar changes its range while the base class takes the children down,
    // when nothing of this window is left to lay the columns out.
    disconnect(grid_->verticalScrollBar(), nullptr, this, nullptr);
}

void TForm1::createActions() {
    auto make = [this](const char* name, const char* caption, int image) {
        auto* a = new QAction(tr8(caption), this);
        a->setObjectName(name);
        if (image >= 0) a->setIcon(ImageList1(image));
        return a;
    };
    ACopyAll = make("ACopyAll", "Скопировать таблицу в буфер обмена", 7);
    ACopyCtrlC = make("ACopyCtrlC", "Копировать", 7);
    ASave = make("ASave", "Сохранить...", 1);
    AOpen = make("AOpen", "Открыть...", 0);
    APrint = make("APrint", "Печать отчета", 4);
    AExit = make("AExit", "Выход", 5);
    ARead = make("ARead", "Считывание данных из прибора", 6);
    ALangRus = make("ALangRus", "Русский (Russian)", 13);
    ALangEng = make("ALangEng", "Английский (English)", 14);
    AHelp = make("AHelp", "Помощь (chm)", 10);
    AAbout = make("AAbout", "&О программе", 11);
    AScreenshot = make("AScreenshot", "Считать вид экрана прибора", 12);
    AUSB = make("AUSB", "USB", -1);
    AUSB->setCheckable(true);
    for (int i = 0; i < 20; ++i) {
        const QByteArray name = QStringLiteral("ACOM%1").arg(i + 1).toLatin1();
        const QByteArray caption = QStringLiteral("COM%1").arg(i + 1).toLatin1();
        ACOM[i] = make(name.constData(), caption.constData(), -1);
        ACOM[i]->setCheckable(true);
        ACOM[i]->setData(0); // Tag: the port number the action selects
    }
    ALangRus->setCheckable(true);
    ALangEng->setCheckable(true);
    AOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ASave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    APrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));

    connect(ACopyAll, &QAction::triggered, this, &TForm1::ACopyAllExecute);
    connect(ACopyCtrlC, &QAction::triggered, this, &TForm1::ACopyCtrlCExecute);
    connect(ASave, &QAction::triggered, this, &TForm1::ASaveExecute);
    connect(AOpen, &QAction::triggered, this, &TForm1::AOpenExecute);
    connect(APrint, &QAction::triggered, this, &TForm1::APrintExecute);
    connect(AExit, &QAction::triggered, this, [this] { AExitExecute(); });
    connect(ARead, &QAction::triggered, this, &TForm1::AReadExecute);
    connect(ALangRus, &QAction::triggered, this, &TForm1::ALangRusExecute);
    connect(ALangEng, &QAction::triggered, this, &TForm1::ALangEngExecute);
    connect(AHelp, &QAction::triggered, this, &TForm1::AHelpExecute);
    connect(AAbout, &QAction::triggered, this, &TForm1::AAboutExecute);
    connect(AScreenshot, &QAction::triggered, this, &TForm1::AScreenshotExecute);
    connect(AUSB, &QAction::triggered, this, [this] { ACOM1Execute(AUSB); });
    for (QAction* a : ACOM)
        connect(a, &QAction::triggered, this, [this, a] { ACOM1Execute(a); });
}

void TForm1::createMenus() {
    itmFile = menuBar()->addMenu(tr8("&Файл"));
    itmFile->setObjectName("itmFile");
    itmFile->addAction(ACopyAll);
    itmFile->addSeparator();
    itmFile->addAction(AOpen);
    itmFile->addAction(ASave);
    AddExchangeCommands(itmFile);
    itmFile->addSeparator();
    itmFile->addAction(APrint);
    itmFile->addSeparator();
    itmFile->addAction(AExit);
    itmDevice = menuBar()->addMenu(tr8("&Команды"));
    itmDevice->setObjectName("itmDevice");
    itmDevice->addAction(ARead);
    itmDevice->addAction(AScreenshot);
    itmParam = menuBar()->addMenu(tr8("Параметры"));
    itmParam->setObjectName("itmParam");
    itmCOMUSB1 = itmParam->addMenu(tr8("№ COM-порта, USB-порт"));
    itmCOMUSB1->setObjectName("itmCOMUSB1");
    itmCOMUSB1->addAction(AUSB);
    for (QAction* a : ACOM)
        itmCOMUSB1->addAction(a);
    itmLang = itmParam->addMenu(tr8("Язык (Language)"));
    itmLang->setObjectName("itmLang");
    itmLang->addAction(ALangRus);
    itmLang->addAction(ALangEng);
    itmHelp = menuBar()->addMenu(tr8("&Помощь"));
    itmHelp->setObjectName("itmHelp");
    itmHelp->addAction(AHelp);
    itmHelp->addSeparator();
    itmHelp->addAction(AAbout);
    grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
    grid_->addAction(ACopyCtrlC);
}

void TForm1::createToolBar() {
    toolPanel_ = new QWidget(centralWidget());
    toolPanel_->setObjectName("Panel1");
    toolPanel_->setGeometry(8, 4, 400, 33);
    // The buttons show their action's caption as tool tip and accessible name.
    auto button = [](QWidget* parent, int x, QAction* action, const char* name) {
        auto* b = new QToolButton(parent);
        b->setObjectName(name);
        b->setDefaultAction(action);
        b->setAutoRaise(true);
        b->setGeometry(x, 6, 23, 22);
        b->setIconSize(QSize(16, 16));
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    auto panel = [this](const char* name, int x, int width) {
        auto* p = new QWidget(toolPanel_);
        p->setObjectName(name);
        p->setGeometry(x, 0, width, 33);
        return p;
    };
    button(panel("Panel2", 0, 33), 5, ARead, "SpeedButtonRead");
    button(panel("Panel5", 33, 33), 5, AScreenshot, "SpeedButton2");
    button(panel("Panel3", 66, 33), 5, APrint, "SpeedButtonPrint");
    QWidget* p4 = panel("Panel4", 99, 93);
    button(p4, 5, ACopyAll, "SpeedButton1");
    button(p4, 33, AOpen, "SpeedButtonOpen");
    button(p4, 61, ASave, "SpeedButtonSave");
    panelRight_ = panel("Panel6", 300, 33);
    button(panelRight_, 5, AHelp, "SpeedButtonAbout");
    panelExit_ = panel("Panel7", 340, 33);
    button(panelExit_, 5, AExit, "SpeedButtonExit");
}

// The status bar's occupants are placed by hand (LayoutStatusBar), by the pixel rule of its four
// panels, rather than by the status bar's own layout.
void TForm1::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(std::max(StatusBarHeightMin, fontMetrics().height() + 6));
    for (QFrame*& panel : statusPanels_) {
        panel = new QFrame(bar);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    }
    sbStatus_ = new StatusButton(bar);
    sbStatus_->setFlat(true);
    sbStatus_->setObjectName("sbStatus");
    sbStatus_->setFocusPolicy(Qt::NoFocus);
    sbStatus_->setStyleSheet("text-align: left; padding-left: 2px; border: none;");
    connect(sbStatus_, &QPushButton::clicked, this, &TForm1::sbStatusClick);
    panel1_ = new QLabel(bar);
    panel1_->setObjectName("StatusPanel1");
    progressBar_ = new QProgressBar(bar);
    progressBar_->setObjectName("ProgressBar1");
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setGeometry(0, 5, 136, 11);
    shapeLink_ = new LinkIndicator(bar);
    LayoutStatusBar();
}

void TForm1::LayoutStatusBar() {
    QStatusBar* bar = statusBar();
    const int height = bar->height();
    const int w1 = 140, w2 = 20;
    const int w0 = std::max(bar->width() - w1 - w2 - 20, 10);
    statusPanels_[0]->setGeometry(0, 0, w0, height);
    statusPanels_[1]->setGeometry(w0, 0, w1, height);
    statusPanels_[2]->setGeometry(w0 + w1, 0, w2, height);
    statusPanels_[3]->setGeometry(w0 + w1 + w2, 0, std::max(bar->width() - w0 - w1 - w2, 0),
                                  height);
    sbStatus_->setGeometry(1, 3, w0 - 2, height - 4);
    panel1_->setGeometry(w0 + 2, 1, w1 - 4, height - 2);
    progressBar_->move(w0 + 3, 5);
    shapeLink_->move(w0 + w1 + 6, (height - shapeLink_->height()) / 2);
}

void TForm1::LayoutToolBar() {
    const int width = centralWidget()->width() - 14;
    bevel1_->setGeometry(0, 0, centralWidget()->width(), 2);
    toolPanel_->setGeometry(8, 4, width, 33);
    panelExit_->move(width - panelExit_->width(), 0);
    panelRight_->move(panelExit_->x() - panelRight_->width() - 20, 0);
}

void TForm1::FormCreate() {
    // The decimal comma is built into the number texts; the program's folder, the settings and
    // log paths are set before the window exists.
    setWindowTitle(tr8(AppTitle()));
    StartLogUSB(); // the dated header of this start
    LayoutStatusBar();

    // The language; an error in the chooser leaves the program in English.
    switch (ReadSettingsLanguage()) {
    case SettingsLanguage::Missing:
        try {
            TfrmLanguage chooser;
            chooser.exec();
        } catch (...) {
            ALangEngExecute();
        }
        break;
    case SettingsLanguage::Russian:
        ALangRusExecute();
        break;
    case SettingsLanguage::English:
        ALangEngExecute();
        break;
    }

    // Geometry, limited to the screen.
    const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = scr ? scr->geometry().size() : QSize(1024, 768);
    const QRect bounds = ReadSettingsGeometry(screenSize, minimumSize(), [this] {
        return WholeTableWidth(ReadSettingsGPSMode() ? 9 : 7);
    });
    resize(bounds.size());
    move(bounds.topLeft());
    normalFrame_ = bounds;
    const bool maximized = ReadSettingsMaximized();

    SetGPSMode(ReadSettingsGPSMode()); // the layout of the last fill

    // The ports and the stored port (USB starts the worker). A port error must not keep
    // the window from coming up: it is shown and start-up goes on with the port closed.
    try {
        StartupPortSelection();
    } catch (const std::exception& e) {
        ShowMessageBox(nullptr, QMessageBox::Warning, tr8(AppTitle()),
                       QString::fromLocal8Bit(e.what()));
    }

    FormResize();
    if (maximized)
        showMaximized();
    else
        show();
    lastFramePos_ = frameGeometry().topLeft();

    // Row labels 1..198 for rows 2..199, then the empty table.
    GridModel* model = grid_->Model();
    model->SetRowCount(200);
    for (int row = 2; row < 200; ++row)
        model->SetCellQuiet(0, row, QString::number(row - 1));
    model->AnnounceRows(2, 199);
    ClearTable();
    // The events shared with the USB worker.
    hDataRdEvent = CreateMyEvent("DataRdEvent", true);
    hDataReadedEvent = CreateMyEvent("DataReadedEvent", false);
    hScreenRdEvent = CreateMyEvent("ScreenRdEvent", false);
    hScrReadedEvent = CreateMyEvent("ScrReadedEvent", false);

    // The rest waits until the first frame is on the screen: the window system exposes the
    // window, Qt draws it while handling that, and the queued call runs after. A window that is
    // not exposed soon (started minimised) goes on after a short wait.
    startupPending_ = true;
    if (QWindow* handle = windowHandle()) handle->installEventFilter(this);
    QTimer::singleShot(FirstFrameWaitMs, this, &TForm1::FinishStartup);
}

void TForm1::FinishStartup() {
    if (!std::exchange(startupPending_, false)) return;
    if (QWindow* handle = windowHandle()) handle->removeEventFilter(this);
    // The message history takes its caption in the language just chosen.
    if (!frmStatus_) SetFrmStatus(new TfrmStatus(this));
    // The window icon is drawn at four sizes for the window manager; the desktop shows the
    // program's installed icon meanwhile.
    setWindowIcon(ProgramIcon());
    CountStart(); // the write waits for the disk
    confirmFixedWidths();
    StartHistory();
    // A start on USB reads the archive on its own, as a read command would.
    if (AUSB->isChecked()) BeginUsbRead();
    if (!startupFile_.isEmpty()) OpenMeasurementFile(std::exchange(startupFile_, QString()));
}

void TForm1::OpenAfterStartup(const QString& path) {
    if (startupPending_)
        startupFile_ = path;
    else
        QTimer::singleShot(0, this, [this, path] { OpenMeasurementFile(path); });
}

// --- status line -----------------------------------------------------------------------------

void TForm1::SetStatusBarGeneral(const QString& message) {
    const QTime now = QTime::currentTime();
    sbStatus_->SetMessage(message);
    QCoreApplication::processEvents();
    if (frmStatus_) frmStatus_->AppendLine(HistoryLine(now, message));
    QCoreApplication::processEvents();
}

void TForm1::SetStatusBarPlain(const QString& message) {
    sbStatus_->SetMessage(message);
    progressBar_->hide();
}

void TForm1::SetSizeFrmStatus() {
    if (!frmStatus_ || !frmStatus_->isVisible()) return;
    const QRect main = frameGeometry();
    const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const int screenHeight = scr ? scr->geometry().height() : 768;
    const QRect frame = frmStatus_->frameGeometry();
    const int h = frame.height();
    const int decorationWidth = frame.width() - frmStatus_->width();
    int top;
    if (h < screenHeight - main.top() - main.height())
        top = main.top() + main.height();
    else if (h < main.top())
        top = main.top() - h;
    else
        return;
    frmStatus_->move(main.left(), top);
    frmStatus_->resize(main.width() - decorationWidth, frmStatus_->height());
}

void TForm1::sbStatusClick() {
    if (!frmStatus_) return;
    if (frmStatus_->isVisible()) {
        frmStatus_->hide();
    } else {
        frmStatus_->show();
        SetSizeFrmStatus();
    }
}

void TForm1::FormMouseMove() {
    const QPoint now = pos();
    if (now == lastMouseMovePos_) return;
    SetSizeFrmStatus();
    lastMouseMovePos_ = now;
}

void TForm1::SetLinkColour(const QColor& colour) {
    shapeLink_->setColour(colour);
}
QColor TForm1::LinkColour() const {
    return shapeLink_->colour();
}
void TForm1::SetPanel1Text(const QString& text) {
    panel1_->setText(text);
}

// --- the measurement table -------------------------------------------------------------------

// Rebuilds the data rows from the archive. The window stays responsive (events are processed
// every few dozen milliseconds) while the commands that would change or read the archive are
// disabled, so nothing changes the archive halfway through.
void TForm1::FillDataTable(int order) {
    const int count = std::clamp<int>(RecordCount.load(), 0, ArchiveCapacity);
    SetArchiveBusy(true);
    GridModel* model = grid_->Model();
    model->SetRowCount(count + 2);
    model->SetCell(0, 1, QStringLiteral("(%1)").arg(count));
    if (order == 0)
        for (int i = 0; i < count; ++i)
            RowOrder[i] = i;
    else if (order == 1)
        for (int i = 0; i < count; ++i)
            RowOrder[i] = count - 1 - i;

    const int lang = LangIndex.load();
    const bool coordinates = GPSModeFlag.load();
    RowTexts texts;
    QElapsedTimer sincePump;
    sincePump.start();
    int firstUnannounced = 2;
    for (int i = 0; i < count; ++i) {
        ArchiveRecord& record = MeasurementArchive[RowOrder[i]];
        RepairMonth(record); // a later save stores the repaired month
        RecordRowTexts(record, lang, coordinates, texts);
        const int columns = std::min(texts.count, model->ColCount());
        for (int c = 0; c < columns; ++c)
            model->SetCellQuiet(c, i + 2, QString::fromUtf8(texts.cell[c]));
        if (sincePump.elapsed() >= 30) {
            model->AnnounceRows(firstUnannounced, i + 2);
            firstUnannounced = i + 3;
            QCoreApplication::processEvents();
            sincePump.restart();
        }
    }
    model->AnnounceRows(firstUnannounced, count + 1);
    SetArchiveBusy(false);
    AnalysisTableChanged(RowOrder, count);
}

void TForm1::CommitArchive(const ArchiveRecord* records, int count, std::optional<bool> coordinates,
                           const ArchiveSource& source, const std::function<void()>& beforeFill) {
    count = std::clamp(count, 0, ArchiveCapacity);
    // Cleared first, so the layout switch re-lays out an empty table rather than a full one.
    ClearTable();
    if (coordinates) SetGPSMode(*coordinates);
    if (count > 0) std::memcpy(MeasurementArchive, records, sizeof(ArchiveRecord) * size_t(count));
    RecordCount = count;
    ++archiveGeneration_;
    if (beforeFill) beforeFill();
    FillDataTable(1);
    StoreInHistory(source);
}

void TForm1::ClearTable() {
    GridModel* model = grid_->Model();
    model->BeginBulk();
    for (int c = 1; c < model->ColCount(); ++c)
        model->ClearColumn(c);
    model->SetRowCount(3);
    model->EndBulk();
    FormResize();
    AnalysisTableChanged(RowOrder, 0);
}

void TForm1::SetGPSMode(bool on) {
    GPSModeFlag = on;
    grid_->Model()->SetColCount(on ? 9 : 7);
    FormResize();
    IniWrite("Config", "GPSMode", on ? "Y" : "N");
}

namespace {

// The table's column titles: a row of the text table and the units line below it.
struct Title {
    int textRow;
    TextPair units;
};
const Title titles[9] = {
    {31, {"", ""}},
    {34, {"", ""}},
    {35, {"кг/м^3", "kg/m^3"}},
    {39, {"%", "%"}},
    {36, {"", ""}},
    {37, {"°C", "°C"}},
    {44, {"мм", "mm"}},
    {46, {"(GLONASS/GPS)", "(GLONASS/GPS)"}},
    {47, {"(GLONASS/GPS)", "(GLONASS/GPS)"}},
};

} // namespace

void TForm1::TitleFill() {
    GridModel* model = grid_->Model();
    const int columns = model->ColCount() < 8 ? 7 : 9;
    for (int c = 0; c < columns; ++c) {
        model->SetCell(c, 0, tr8(LangTexts[titles[c].textRow]()));
        model->SetCell(c, 1, tr8(titles[c].units()));
    }
}

void TForm1::ApplyColumnWidths() {
    const int columns = grid_->ColCount();
    QScrollBar* bar = grid_->verticalScrollBar();
    const bool barShown = grid_->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn ||
                          (grid_->verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded &&
                           bar->maximum() > bar->minimum());
    const int clientWidth =
        grid_->width() - 2 * grid_->frameWidth() - (barShown ? bar->sizeHint().width() : 0);
    // The fixed widths depend only on the fonts: measured once per font, not on every resize. The
    // window's first layout takes the widths the last start measured in the same fonts, and
    // FinishStartup measures them again: measuring the texts in both languages would hold up the
    // first frame.
    const QString fonts = grid_->font().key() + grid_->horizontalHeader()->font().key() +
                          grid_->verticalHeader()->font().key();
    if (fonts != fixed_.fonts) {
        const bool first = fixed_.fonts.isEmpty();
        fixed_ = {fonts, 0, 0, false};
        if (!first || !takeStoredFixedWidths()) measureFixedWidths();
    }
    const std::vector<int> widths =
        DistributeColumnWidths(columns, clientWidth, fixed_.number, fixed_.date);
    for (int c = 0; c < columns; ++c)
        grid_->SetColWidth(c, widths[c]);
}

namespace {

// The fixed columns' widths in the settings file: the fonts' fingerprint and the two widths.
constexpr char FixedColumnsKey[] = "FixedColumns";

QString FontsFingerprint(const QString& fonts) {
    return QString::number(qHash(fonts, 0), 16);
}

} // namespace

bool TForm1::takeStoredFixedWidths() {
    const QStringList stored =
        QString::fromStdString(IniRead("FormMain", FixedColumnsKey, std::nullopt, 64))
            .split(QLatin1Char(' '));
    if (stored.size() != 3 || stored[0] != FontsFingerprint(fixed_.fonts)) return false;
    bool numberOk = false, dateOk = false;
    const int number = stored[1].toInt(&numberOk), date = stored[2].toInt(&dateOk);
    if (!numberOk || !dateOk || number <= 0 || date <= 0) return false;
    fixed_.number = number;
    fixed_.date = date;
    return true;
}

void TForm1::measureFixedWidths() {
    fixed_.number = NumberColumnWidth();
    fixed_.date = DateColumnWidth();
    fixed_.measured = true;
}

void TForm1::confirmFixedWidths() {
    if (!fixed_.measured) {
        const int number = fixed_.number, date = fixed_.date;
        measureFixedWidths();
        if (fixed_.number != number || fixed_.date != date) ApplyColumnWidths();
    }
    IniWrite("FormMain", FixedColumnsKey,
             QStringLiteral("%1 %2 %3")
                 .arg(FontsFingerprint(fixed_.fonts))
                 .arg(fixed_.number)
                 .arg(fixed_.date)
                 .toStdString());
}

namespace {

// The width a header section needs for `text` (lines separated by "\n"), as the header's style
// measures it, in bold as a highlighted section draws it.
int headerNeed(const QHeaderView* header, const QString& text) {
    QStyleOptionHeader option;
    option.initFrom(header);
    option.text = text;
    QFont bold = header->font();
    bold.setBold(true);
    option.fontMetrics = QFontMetrics(bold);
    return header->style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header)
        .width();
}

// `sample` with every digit replaced by the font's widest one.
QString widestDigits(const QString& sample, const QFontMetrics& metrics) {
    QChar widest = u'0';
    for (char16_t d = u'1'; d <= u'9'; ++d)
        if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest)) widest = d;
    QString out = sample;
    for (QChar& c : out)
        if (c.isDigit()) c = widest;
    return out;
}

} // namespace

// The number column: the largest record number in its header cells, and the corner's title with
// the largest record count below it, in either language.
int TForm1::NumberColumnWidth() const {
    const QHeaderView* rows = grid_->verticalHeader();
    int need = headerNeed(
        rows, widestDigits(QString::fromLatin1(NumberColumnSample), rows->fontMetrics()));
    const QString count = widestDigits(QStringLiteral("(%1)").arg(ArchiveCapacity),
                                       grid_->horizontalHeader()->fontMetrics());
    for (int lang = 0; lang < 2; ++lang)
        need = std::max(need, headerNeed(grid_->horizontalHeader(),
                                         tr8(LangTexts[31].in(lang)) + QLatin1Char('\n') + count));
    return need;
}

// The date column: the widest date text a record can give, with the margins a cell draws around
// its text and the grid line, and the column's title, in either language.
int TForm1::DateColumnWidth() const {
    const QFontMetrics metrics = grid_->fontMetrics();
    const int margin =
        2 * (grid_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid_) + 1) +
        (grid_->showGrid() ? 1 : 0);
    int need = 0;
    for (const std::string& sample : DateColumnSamples())
        need = std::max(
            need, metrics.horizontalAdvance(widestDigits(QString::fromStdString(sample), metrics)) +
                      margin);
    for (int lang = 0; lang < 2; ++lang)
        need = std::max(need, headerNeed(grid_->horizontalHeader(), tr8(LangTexts[34].in(lang))));
    return need;
}

// The window width at which a table of `columns` columns shows every title whole: the fixed
// columns, and the others sharing alike, each as wide as the widest of their titles.
int TForm1::WholeTableWidth(int columns) const {
    int share = 50;
    for (int c = 2; c < columns; ++c)
        for (int lang = 0; lang < 2; ++lang) {
            const QString units = tr8(titles[c].units.in(lang));
            const QString title = tr8(LangTexts[titles[c].textRow].in(lang)) +
                                  (units.isEmpty() ? QString() : QLatin1Char('\n') + units);
            share = std::max(share, headerNeed(grid_->horizontalHeader(), title));
        }
    const int client = NumberColumnWidth() + DateColumnWidth() + (columns - 2) * share + columns +
                       1 + grid_->verticalScrollBar()->sizeHint().width();
    return client + 2 * grid_->frameWidth() + 14;
}

void TForm1::FormResize() {
    // The window never grows beyond its screen.
    if (const QScreen* scr = screen()) {
        const QSize limit = scr->geometry().size();
        if (width() > limit.width() || height() > limit.height())
            resize(std::min(width(), limit.width()), std::min(height(), limit.height()));
    }
    LayoutStatusBar();
    // The client area is everything below the menu, the status bar included.
    const int clientWidth = width();
    const int clientHeight = centralWidget()->height() + statusBar()->height();
    grid_->setGeometry(8, GridTop, clientWidth - 14, std::max(clientHeight - 70, 20));
    ApplyColumnWidths();
    LayoutToolBar();
    TitleFill();
    SetSizeFrmStatus();
}

void TForm1::SetArchiveBusy(bool busy) {
    archiveBusy_ = std::max(archiveBusy_ + (busy ? 1 : -1), 0);
    const bool enabled = archiveBusy_ == 0;
    for (QAction* a : {AOpen, ASave, APrint, ACopyAll, ACopyCtrlC, ARead, AExportCsv, AExportMap})
        if (a) a->setEnabled(enabled);
}

// --- texts -----------------------------------------------------------------------------------

void TForm1::MenuFill() {
    auto text = [](int row) { return tr8(LangTexts[row]()); };
    setWindowTitle(text(0));
    itmFile->setTitle(text(1));
    itmDevice->setTitle(text(2));
    itmParam->setTitle(text(3));
    itmHelp->setTitle(text(4));
    itmLang->setTitle(text(5));
    ACopyAll->setText(text(6));
    ACopyCtrlC->setText(text(7));
    AOpen->setText(text(8));
    ASave->setText(text(9));
    APrint->setText(text(10));
    AExit->setText(text(11));
    ARead->setText(text(12));
    AScreenshot->setText(text(13));
    itmParam->setTitle(text(14));
    itmCOMUSB1->setTitle(text(15));
    ALangRus->setText(text(16));
    ALangEng->setText(text(17));
    AHelp->setText(text(18));
    AAbout->setText(text(19));
    ExchangeMenuFill();
    HistoryMenuFill();
}

void TForm1::ApplyLanguage(int index) {
    LangIndex = static_cast<int8_t>(index);
    ALangRus->setChecked(index == 0);
    ALangEng->setChecked(index == 1);
    IniWrite("Config", "LangId", index == 0 ? "Rus" : "Eng");
    MenuFill();
    TitleFill();
    AnalysisLanguageChanged();
    report::LoadLanguageFile(QString::fromStdString(
        DataFilePath(index == 0 ? "Language/Russian.frc" : "Language/English.frc")));
    helpFileName_ = QString::fromStdString(
        DataFilePath(index == 0 ? "Help/Vyz1RusHelp.html" : "Help/Vyz1EngHelp.html"));
}

void TForm1::ALangRusExecute() {
    ApplyLanguage(0);
}
void TForm1::ALangEngExecute() {
    ApplyLanguage(1);
}

// Opens the manual of the current language; a missing manual or viewer is not reported.
void TForm1::AHelpExecute() {
    if (QFileInfo::exists(helpFileName_))
        QDesktopServices::openUrl(QUrl::fromLocalFile(helpFileName_));
}

// --- the end of the process ------------------------------------------------------------------

void TForm1::AExitExecute() {
    exiting_ = true;
    // The worker is asked to stop and given up to 500 ms to unload libusb; then the events go.
    RequestUsbWorkerStop();
    ReleaseUsbOnExit();
    hDataRdEvent.reset();
    hDataReadedEvent.reset();
    hScreenRdEvent.reset();
    hScrReadedEvent.reset();
    // The normal bounds, also when maximised (the window is not restored on screen first:
    // the process ends right after).
    const bool maximized = isMaximized();
    IniWrite("FormMain", "Maximized", maximized ? "1" : "0");
    const QRect normal = maximized ? normalFrame_ : QRect(pos(), size());
    IniWrite("FormMain", "Left", std::to_string(normal.left()));
    IniWrite("FormMain", "Top", std::to_string(normal.top()));
    IniWrite("FormMain", "Width", std::to_string(normal.width()));
    IniWrite("FormMain", "Height", std::to_string(normal.height()));
    if (frmStatus_) IniWrite("frmStatus", "Height", std::to_string(frmStatus_->height()));
    ClosePort();
    WaitUsbWorkerEnd(); // up to 1000 ms
    // What the program put on the clipboard goes to the desktop's clipboard manager, with a
    // short bound (Qt's own hand-over in its teardown waits 5 s on a manager that never answers);
    // then the process ends here, without returning to an event loop (a read-out may be under
    // way below this call) or running the destructors of windows and threads that may be busy.
    HandClipboardToManager(ClipboardHandOverMs);
    std::fflush(nullptr);
    std::_Exit(0);
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->ignore();
    AExitExecute();
}

// --- window events ---------------------------------------------------------------------------

// The normal bounds are remembered as they change, so that leaving the program while maximised
// stores them rather than the screen-filling ones.
void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowState() == Qt::WindowNoState && isVisible()) normalFrame_ = QRect(pos(), size());
    FormResize();
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    const QPoint now = frameGeometry().topLeft();
    if (windowState() == Qt::WindowNoState && isVisible()) normalFrame_ = QRect(now, size());
    if (now != lastFramePos_) {
        const QPoint before = lastFramePos_;
        lastFramePos_ = now;
        CatchDrag(before, now);
    }
}

// F1 anywhere in the main window opens the help file (keys not used by the focused control come
// here).
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        AHelpExecute();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (startupPending_ && event->type() == QEvent::Expose && watched == windowHandle() &&
        windowHandle()->isExposed())
        QMetaObject::invokeMethod(this, &TForm1::FinishStartup, Qt::QueuedConnection);
    if (watched == centralWidget() && event->type() == QEvent::MouseMove) FormMouseMove();
    return QMainWindow::eventFilter(watched, event);
}

// The table's keys: F1 help, Ctrl+R or Alt+R read, Ctrl+C copy the selected rows. A command that
// is disabled (a read-out or fill is running) does nothing.
void TForm1::StringGrid1KeyDown(QKeyEvent* event, bool* handled) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->key() == Qt::Key_F1) {
        AHelpExecute();
        *handled = true;
    } else if (event->key() == Qt::Key_R && (mods & (Qt::AltModifier | Qt::ControlModifier))) {
        if (ARead->isEnabled()) AReadExecute();
        *handled = true;
    } else if (event->key() == Qt::Key_C && (mods & Qt::ControlModifier)) {
        if (ACopyCtrlC->isEnabled()) ACopyCtrlCExecute();
        *handled = true;
    }
}

} // namespace vyz
