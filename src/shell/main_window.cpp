#include "shell/main_window.h"

#include "data/archive_record.h"
#include "data/text_pair.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

namespace vyz {

TForm1* Form1 = nullptr;

// The round link indicator in the status bar.
class LinkIndicator : public QWidget {
public:
    explicit LinkIndicator(QWidget* parent) : QWidget(parent) {
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
    setWindowTitle(QString::fromUtf8("VYZ. Плотномер асфальта"));
    setMinimumSize(454, 307);
    resize(482, 363);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    grid_ = new StringGrid(central);
    grid_->setObjectName("StringGrid1");
    connect(grid_, &StringGrid::keyPressed, this, &TForm1::StringGrid1KeyDown);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::createActions() {
    auto make = [this](const char* name, const char* caption) {
        auto* a = new QAction(QString::fromUtf8(caption), this);
        a->setObjectName(name);
        return a;
    };
    ACopyAll = make("ACopyAll", "Скопировать таблицу в буфер обмена");
    ACopyCtrlC = make("ACopyCtrlC", "Копировать");
    ASave = make("ASave", "Сохранить...");
    AOpen = make("AOpen", "Открыть...");
    APrint = make("APrint", "Печать отчета");
    AExit = make("AExit", "Выход");
    ARead = make("ARead", "Считывание данных из прибора");
    ALangRus = make("ALangRus", "Русский (Russian)");
    ALangEng = make("ALangEng", "Английский (English)");
    AHelp = make("AHelp", "Помощь (chm)");
    AAbout = make("AAbout", "&О программе");
    AScreenshot = make("AScreenshot", "Считать вид экрана прибора");
    AUSB = make("AUSB", "USB");
    AUSB->setCheckable(true);
    for (int i = 0; i < 20; ++i) {
        ACOM[i] = make(qPrintable(QString("ACOM%1").arg(i + 1)), qPrintable(QString("COM%1").arg(i + 1)));
        ACOM[i]->setCheckable(true);
        ACOM[i]->setData(0); // Tag: the port number the action selects
    }
    ALangRus->setCheckable(true);
    ALangEng->setCheckable(true);

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
    for (QAction* a : ACOM) connect(a, &QAction::triggered, this, [this, a] { ACOM1Execute(a); });
}

void TForm1::createMenus() {
    itmFile = menuBar()->addMenu(QString::fromUtf8("Файл"));
    itmFile->addAction(ACopyAll);
    itmFile->addSeparator();
    itmFile->addAction(AOpen);
    itmFile->addAction(ASave);
    itmFile->addSeparator();
    itmFile->addAction(APrint);
    itmFile->addSeparator();
    itmFile->addAction(AExit);
    itmDevice = menuBar()->addMenu(QString::fromUtf8("Команды"));
    itmDevice->addAction(ARead);
    itmDevice->addAction(AScreenshot);
    itmParam = menuBar()->addMenu(QString::fromUtf8("Параметры"));
    itmCOMUSB1 = itmParam->addMenu(QString::fromUtf8("№ COM-порта, USB-порт"));
    itmCOMUSB1->addAction(AUSB);
    for (QAction* a : ACOM) itmCOMUSB1->addAction(a);
    itmLang = itmParam->addMenu(QString::fromUtf8("Язык (Language)"));
    itmLang->addAction(ALangRus);
    itmLang->addAction(ALangEng);
    itmHelp = menuBar()->addMenu(QString::fromUtf8("Помощь"));
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
    auto button = [this](QWidget* parent, int x, QAction* action) {
        auto* b = new QToolButton(parent);
        b->setDefaultAction(action);
        b->setAutoRaise(true);
        b->setGeometry(x, 6, 23, 22);
        b->setIconSize(QSize(16, 16));
        b->setAccessibleName(action->text());
        return b;
    };
    auto panel = [this](const char* name, int x, int width) {
        auto* p = new QWidget(toolPanel_);
        p->setObjectName(name);
        p->setGeometry(x, 0, width, 33);
        return p;
    };
    button(panel("Panel2", 0, 33), 5, ARead);
    button(panel("Panel5", 33, 33), 5, AScreenshot);
    button(panel("Panel3", 66, 33), 5, APrint);
    QWidget* p4 = panel("Panel4", 99, 93);
    button(p4, 5, ACopyAll);
    button(p4, 33, AOpen);
    button(p4, 61, ASave);
    panelRight_ = panel("Panel6", 300, 33);
    button(panelRight_, 5, AHelp);
    panelExit_ = panel("Panel7", 340, 33);
    button(panelExit_, 5, AExit);
}

void TForm1::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    sbStatus_ = new QPushButton(bar);
    sbStatus_->setFlat(true);
    sbStatus_->setObjectName("sbStatus");
    sbStatus_->setStyleSheet("text-align: left; padding-left: 2px;");
    bar->addWidget(sbStatus_, 1);
    panel1_ = new QLabel(bar);
    panel1_->setFixedWidth(140);
    progressBar_ = new QProgressBar(panel1_);
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    progressBar_->setGeometry(2, 5, 136, 11);
    bar->addPermanentWidget(panel1_);
    shapeLink_ = new LinkIndicator(bar);
    bar->addPermanentWidget(shapeLink_);
    auto* panel3 = new QWidget(bar);
    panel3->setFixedWidth(50);
    bar->addPermanentWidget(panel3);
}

void TForm1::LayoutToolBar() {
    const int width = centralWidget()->width() - 14;
    toolPanel_->setGeometry(8, 4, width, 33);
    panelExit_->move(width - panelExit_->width(), 0);
    panelRight_->move(panelExit_->x() - panelRight_->width() - 20, 0);
}

void TForm1::FormCreate() {}

void TForm1::SetStatusBarGeneral(const QString& message) {
    sbStatus_->setText(message);
    QCoreApplication::processEvents();
}

void TForm1::SetStatusBarPlain(const QString& message) {
    sbStatus_->setText(message);
    progressBar_->hide();
}

void TForm1::SetSizeFrmStatus() {}

void TForm1::SetLinkColour(const QColor& colour) { shapeLink_->setColour(colour); }
QColor TForm1::LinkColour() const { return shapeLink_->colour(); }
void TForm1::SetPanel1Text(const QString& text) { panel1_->setText(text); }

void TForm1::FillDataTable(int) {}
void TForm1::ClearTable() {}
void TForm1::SetGPSMode(bool on) { GPSModeFlag = on; }
void TForm1::TitleFill() {}

void TForm1::FormResize() {
    const QRect client = centralWidget()->rect();
    grid_->setGeometry(8, 40, client.width() - 14, client.height() - 44);
    LayoutToolBar();
}

void TForm1::SetArchiveBusy(bool busy) {
    archiveBusy_ += busy ? 1 : -1;
    const bool enabled = archiveBusy_ == 0;
    for (QAction* a : {AOpen, ASave, APrint, ACopyAll, ACopyCtrlC, ARead}) a->setEnabled(enabled);
}

void TForm1::MenuFill() {}
void TForm1::ALangRusExecute() { LangIndex = 0; }
void TForm1::ALangEngExecute() { LangIndex = 1; }
void TForm1::AHelpExecute() {}

void TForm1::AExitExecute() {
    exiting_ = true;
    std::exit(0);
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->ignore();
    AExitExecute();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::moveEvent(QMoveEvent* event) { QMainWindow::moveEvent(event); }

bool TForm1::event(QEvent* event) { return QMainWindow::event(event); }

void TForm1::StringGrid1KeyDown(QKeyEvent*, bool*) {}

} // namespace vyz
