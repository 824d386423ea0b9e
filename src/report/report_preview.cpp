#include "report/report_preview.h"

#include "platform/message_box.h"
#include "report/export_support.h"
#include "report/report_language.h"
#include "report/report_painter.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstring>

#include <algorithm>
#include <optional>

namespace vyz::report {

// Paints one page, with a margin of grey around it, through the painter every device shares.
class PageView : public QWidget {
public:
    explicit PageView(QWidget* parent) : QWidget(parent) {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(128, 128, 128));
        setPalette(p);
    }

    void Show(const PreparedPage* page, double zoom, const PreparedObject* highlight) {
        page_ = page;
        zoom_ = zoom;
        highlight_ = highlight;
        const QSizeF px = pagePixels();
        setFixedSize(int(px.width()) + 2 * Border, int(px.height()) + 2 * Border);
        update();
    }

    QSizeF pagePixels() const {
        if (!page_) return {};
        return QSizeF(page_->page.paperMm.width() * zoom_ * logicalDpiX() / 25.4,
                      page_->page.paperMm.height() * zoom_ * logicalDpiY() / 25.4);
    }

    static constexpr int Border = 10;

protected:
    void paintEvent(QPaintEvent*) override {
        if (!page_) return;
        QPainter painter(this);
        const QRectF paper(QPointF(Border, Border), pagePixels());
        painter.fillRect(paper.translated(3, 3), QColor(64, 64, 64));
        painter.fillRect(paper, Qt::white);
        painter.translate(Border, Border);
        PaintPage(painter, *page_, zoom_, highlight_);
    }

private:
    const PreparedPage* page_ = nullptr;
    double zoom_ = 1;
    const PreparedObject* highlight_ = nullptr;
};

namespace {

// The export and print progress shown in a progress window.
class DialogProgress : public Progress {
public:
    DialogProgress(QWidget* parent, const QString& label)
        : dialog_(label, Tr("Cancel"), 0, 1, parent) {
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(300);
    }
    void Begin(int total) override { dialog_.setMaximum(std::max(total, 1)); }
    bool Step(int done) override {
        dialog_.setValue(std::min(done, dialog_.maximum()));
        return !dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

// "PDF file (*.pdf)": the menu entry and the file dialog's filter.
QString formatFilter(const ExportFormatEntry& entry) {
    return Tr(entry.label) + QStringLiteral(" (*.") + QLatin1String(entry.suffix) +
           QLatin1Char(')');
}

constexpr int ZoomPercents[] = {25, 50, 75, 100, 150, 200, 300};

// The tool bar's pictures where the desktop's icon theme has none: a few strokes on a page or a
// magnifier, in the window text colour.
QIcon drawnIcon(const QString& kind, const QPalette& palette) {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette.color(QPalette::WindowText), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const bool magnifier =
        kind.startsWith(QLatin1String("zoom")) || kind.startsWith(QLatin1String("find"));
    if (magnifier) {
        p.drawEllipse(QRectF(6, 6, 26, 26));
        p.drawLine(QPointF(29, 29), QPointF(42, 42));
        if (kind != QLatin1String("find")) p.drawLine(QPointF(12, 19), QPointF(26, 19));
        if (kind == QLatin1String("zoom-in")) p.drawLine(QPointF(19, 12), QPointF(19, 26));
        if (kind == QLatin1String("find-next")) {
            p.drawLine(QPointF(20, 13), QPointF(26, 19));
            p.drawLine(QPointF(20, 25), QPointF(26, 19));
        }
    } else if (kind == QLatin1String("print")) {
        p.drawRect(QRectF(14, 5, 20, 12));  // paper going in
        p.drawRect(QRectF(5, 17, 38, 17));  // the printer
        p.drawRect(QRectF(14, 28, 20, 15)); // the printed page
    } else { // a page: export (with an arrow out of it) or page setup (with its margins)
        p.drawRect(QRectF(8, 4, 26, 40));
        if (kind == QLatin1String("export")) {
            p.drawLine(QPointF(20, 24), QPointF(44, 24));
            p.drawLine(QPointF(36, 16), QPointF(44, 24));
            p.drawLine(QPointF(36, 32), QPointF(44, 24));
        } else {
            p.setPen(QPen(palette.color(QPalette::WindowText), 2, Qt::DashLine));
            p.drawRect(QRectF(14, 10, 14, 28));
        }
    }
    return QIcon(pixmap);
}

// The icon of a tool bar command: the icon theme's, else the style's standard one, else drawn.
QIcon commandIcon(const char* key, const QStyle* style, const QPalette& palette) {
    struct Entry {
        const char* key;
        const char* theme;
        QStyle::StandardPixmap standard; // SP_CustomBase: none, drawn instead
        const char* drawn;
    };
    static const Entry entries[] = {
        {"Print", "document-print", QStyle::SP_CustomBase, "print"},
        {"Open", "document-open", QStyle::SP_DialogOpenButton, ""},
        {"Save", "document-save", QStyle::SP_DialogSaveButton, ""},
        {"Export", "document-export", QStyle::SP_CustomBase, "export"},
        {"ZoomOut", "zoom-out", QStyle::SP_CustomBase, "zoom-out"},
        {"ZoomIn", "zoom-in", QStyle::SP_CustomBase, "zoom-in"},
        {"Find", "edit-find", QStyle::SP_CustomBase, "find"},
        {"FindNext", "go-down-search", QStyle::SP_CustomBase, "find-next"},
        {"PageSetup", "document-page-setup", QStyle::SP_CustomBase, "page-setup"},
        {"FirstPage", "go-first", QStyle::SP_MediaSkipBackward, ""},
        {"PriorPage", "go-previous", QStyle::SP_ArrowLeft, ""},
        {"NextPage", "go-next", QStyle::SP_ArrowRight, ""},
        {"LastPage", "go-last", QStyle::SP_MediaSkipForward, ""},
        {"Close", "window-close", QStyle::SP_DialogCloseButton, ""},
    };
    for (const Entry& e : entries) {
        if (std::strcmp(e.key, key) != 0) continue;
        const QIcon themed = QIcon::fromTheme(QLatin1String(e.theme));
        if (!themed.isNull()) return themed;
        if (e.standard != QStyle::SP_CustomBase) return style->standardIcon(e.standard);
        return drawnIcon(QLatin1String(e.drawn), palette);
    }
    return {};
}

} // namespace

PreviewWindow::PreviewWindow(Report& report, QWidget* parent)
    : QDialog(parent), report_(report), printer_(QPrinter::HighResolution) {
    setObjectName(QStringLiteral("frxPreview"));
    setWindowTitle(Tr("Preview"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    // Room for an A4 page at 100 % (landscape too) and the whole tool bar, within the screen.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : QSize(1280, 1024);
    resize(std::min(room.width() * 9 / 10, 1300), std::min(room.height() * 9 / 10, 1000));

    // Icons with the command names as tool tips, so that every command fits in the tool bar in
    // either language.
    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto add = [&](const char* key, const QKeySequence& keys, auto slot) {
        QAction* a = toolbar->addAction(commandIcon(key, style(), palette()), Tr(key));
        a->setObjectName(QString::fromLatin1(key));
        if (!keys.isEmpty()) a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add("Print", QKeySequence::Print, [this] { PrintReport(); });
    add("Open", QKeySequence::Open, [this] { OpenReport(); });
    add("Save", QKeySequence::Save, [this] { SaveReport(); });
    auto* exportButton = new QToolButton(toolbar);
    exportButton->setText(Tr("Export"));
    exportButton->setToolTip(Tr("Export"));
    exportButton->setIcon(commandIcon("Export", style(), palette()));
    exportButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    exportButton->setObjectName(QStringLiteral("Export"));
    exportButton->setPopupMode(QToolButton::InstantPopup);
    auto* exportMenu = new QMenu(exportButton);
    for (const ExportFormatEntry& entry : ExportFormats)
        connect(exportMenu->addAction(formatFilter(entry)), &QAction::triggered, this,
                [this, format = entry.format] { ExportTo(format); });
    exportButton->setMenu(exportMenu);
    toolbar->addWidget(exportButton);
    toolbar->addSeparator();
    add("ZoomOut", QKeySequence::ZoomOut, [this] { SetZoom(zoom_ / 1.25); });
    zoomBox_ = new QComboBox(toolbar);
    // As wide as a percentage; the list shows the longer fit names whole.
    zoomBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    zoomBox_->setMinimumContentsLength(6);
    for (int z : ZoomPercents)
        zoomBox_->addItem(QStringLiteral("%1 %").arg(z), z);
    zoomBox_->addItem(Tr("PageWidth"), -1);
    zoomBox_->addItem(Tr("WholePage"), -2);
    connect(zoomBox_, &QComboBox::activated, this, [this](int index) {
        const int v = zoomBox_->itemData(index).toInt();
        fit_ = v == -1 ? Fit::Width : v == -2 ? Fit::Page : Fit::None;
        if (fit_ == Fit::None)
            SetZoom(v / 100.0);
        else
            applyFitMode();
    });
    toolbar->addWidget(zoomBox_);
    add("ZoomIn", QKeySequence::ZoomIn, [this] { SetZoom(zoom_ * 1.25); });
    toolbar->addSeparator();
    findEdit_ = new QLineEdit(toolbar);
    findEdit_->setPlaceholderText(Tr("FindText"));
    findEdit_->setMaximumWidth(110);
    toolbar->addWidget(findEdit_);
    auto find = [this] {
        if (!findEdit_->text().isEmpty() && !FindNext(findEdit_->text()))
            ShowMessageBox(this, QMessageBox::Information, Tr("Find"), Tr("NotFound"));
    };
    add("Find", QKeySequence::Find, [this] {
        findEdit_->setFocus();
        findEdit_->selectAll();
    });
    add("FindNext", QKeySequence::FindNext, find);
    connect(findEdit_, &QLineEdit::returnPressed, this, find);
    toolbar->addSeparator();
    add("PageSetup", {}, [this] { PageSetup(); });
    toolbar->addSeparator();
    add("FirstPage", Qt::CTRL | Qt::Key_Home, [this] { ShowPage(0); });
    add("PriorPage", Qt::Key_PageUp, [this] { ShowPage(page_ - 1); });
    pageBox_ = new QSpinBox(toolbar);
    pageBox_->setObjectName(QStringLiteral("PageNumber"));
    connect(pageBox_, &QSpinBox::valueChanged, this, [this](int v) {
        if (v - 1 != page_) ShowPage(v - 1);
    });
    toolbar->addWidget(pageBox_);
    add("NextPage", Qt::Key_PageDown, [this] { ShowPage(page_ + 1); });
    add("LastPage", Qt::CTRL | Qt::Key_End, [this] { ShowPage(PageCount() - 1); });
    toolbar->addSeparator();
    add("Close", {}, [this] { accept(); });

    view_ = new PageView(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(view_);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("PageLabel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(scroll_, 1);
    layout->addWidget(pageLabel_);

    zoomBox_->setCurrentIndex(zoomBox_->findData(100));
    refresh();
}

PreviewWindow::~PreviewWindow() = default;

int PreviewWindow::PageCount() const {
    return int(prepared().pages.size());
}

void PreviewWindow::refresh() {
    const int count = PageCount();
    page_ = std::clamp(page_, 0, std::max(0, count - 1));
    pageBox_->blockSignals(true);
    pageBox_->setRange(count ? 1 : 0, count);
    pageBox_->setValue(count ? page_ + 1 : 0);
    pageBox_->blockSignals(false);
    pageLabel_->setText(Tr("PageOf").arg(count ? page_ + 1 : 0).arg(count));
    const PreparedObject* highlight = nullptr;
    if (findObject_ >= 0 && findPage_ == page_ && findPage_ < count) {
        const PreparedPage& p = prepared().pages[findPage_];
        if (findBand_ < p.bands.size() && findObject_ < p.bands[findBand_].objects.size())
            highlight = &p.bands[findBand_].objects[findObject_];
    }
    view_->Show(count ? &prepared().pages[page_] : nullptr, zoom_, highlight);
}

void PreviewWindow::ShowPage(int page) {
    if (page < 0 || page >= PageCount()) return;
    page_ = page;
    refresh();
    scroll_->verticalScrollBar()->setValue(0);
}

void PreviewWindow::SetZoom(double zoom) {
    fit_ = Fit::None;
    zoom_ = std::clamp(zoom, 0.1, 8.0);
    const int percent = qRound(zoom_ * 100);
    const int index = zoomBox_->findData(percent);
    if (index >= 0) {
        zoomBox_->setCurrentIndex(index);
    } else {
        zoomBox_->setEditText(QString());
        zoomBox_->setCurrentIndex(-1);
        zoomBox_->setPlaceholderText(QStringLiteral("%1 %").arg(percent));
    }
    refresh();
}

void PreviewWindow::applyFitMode() {
    if (fit_ == Fit::None || PageCount() == 0) return;
    const PageSettings& p = prepared().pages[page_].page;
    const QSize room =
        scroll_->viewport()->size() - QSize(2 * PageView::Border + 4, 2 * PageView::Border + 4);
    const double zw = room.width() / (p.paperMm.width() * logicalDpiX() / 25.4);
    const double zh = room.height() / (p.paperMm.height() * logicalDpiY() / 25.4);
    zoom_ = std::clamp(fit_ == Fit::Width ? zw : std::min(zw, zh), 0.1, 8.0);
    refresh();
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    applyFitMode();
}

bool PreviewWindow::FindNext(const QString& text) {
    const QVector<PreparedPage>& pages = prepared().pages;
    if (text.isEmpty() || pages.isEmpty()) return false;
    // Walk every object once, starting after the last hit (or at the current page).
    int p = findObject_ >= 0 ? findPage_ : page_;
    int b = findObject_ >= 0 ? findBand_ : 0;
    int o = findObject_ >= 0 ? findObject_ + 1 : 0;
    qsizetype total = 0;
    for (const PreparedPage& page : pages)
        for (const PreparedBand& band : page.bands)
            total += band.objects.size();
    for (qsizetype seen = 0; seen <= total;) {
        if (p >= pages.size()) p = 0, b = 0, o = 0;
        const PreparedPage& page = pages[p];
        if (b >= page.bands.size()) {
            ++p, b = 0, o = 0;
            continue;
        }
        const PreparedBand& band = page.bands[b];
        if (o >= band.objects.size()) {
            ++b, o = 0;
            continue;
        }
        ++seen;
        if (band.objects[o].text.contains(text, Qt::CaseInsensitive)) {
            findPage_ = p, findBand_ = b, findObject_ = o;
            ShowPage(p);
            const QRectF r = band.objects[o].rectMm;
            scroll_->ensureVisible(int(r.center().x() * zoom_ * logicalDpiX() / 25.4),
                                   int(r.center().y() * zoom_ * logicalDpiY() / 25.4));
            return true;
        }
        ++o;
    }
    findObject_ = -1;
    refresh();
    return false;
}

void PreviewWindow::PrintReport() {
    if (PageCount() == 0) return;
    printer_.setPageLayout(DevicePageLayout(prepared().pages[page_].page));
    QPrintDialog dialog(&printer_, this);
    dialog.setMinMax(1, PageCount());
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    if (dialog.exec() != QDialog::Accepted) return;
    int from = 0, to = PageCount() - 1;
    if (printer_.printRange() == QPrinter::PageRange && printer_.fromPage() > 0) {
        from = printer_.fromPage() - 1;
        to = std::min(printer_.toPage(), PageCount()) - 1;
    } else if (printer_.printRange() == QPrinter::CurrentPage) {
        from = to = page_;
    }
    printer_.setFullPage(true);
    // Printing into a PDF file replaces that file through the staged writer: the printer writes
    // the staging file, which replaces the chosen one only when every page is in it.
    const QString file =
        printer_.outputFormat() == QPrinter::PdfFormat ? printer_.outputFileName() : QString();
    std::optional<detail::StagedTarget> staged;
    if (!file.isEmpty()) {
        staged.emplace(file);
        if (!staged->ok()) {
            ShowMessageBox(this, QMessageBox::Warning, windowTitle(), Tr("PrintFailed"));
            return;
        }
        printer_.setOutputFileName(staged->path());
    }
    DialogProgress progress(this, Tr("Printing"));
    const PaintResult result = PaintReport(prepared(), printer_, from, to, &progress);
    if (staged) printer_.setOutputFileName(file);
    if (result == PaintResult::DeviceFailed ||
        (result == PaintResult::Done && staged && !staged->Commit(nullptr)))
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(), Tr("PrintFailed"));
}

void PreviewWindow::PageSetup() {
    const PageSettings current = report_.layout.page;
    QPageLayout layout = DevicePageLayout(current);
    layout.setMinimumMargins(QMarginsF(0, 0, 0, 0));
    layout.setMargins(current.marginsMm);
    printer_.setPageLayout(layout);
    QPageSetupDialog dialog(&printer_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const QPageLayout chosen = printer_.pageLayout();
    PageSettings page;
    page.paperMm = chosen.fullRect(QPageLayout::Millimeter).size();
    page.orientation = chosen.orientation();
    page.marginsMm = chosen.margins(QPageLayout::Millimeter);
    if (page == current || preparedFromFile_) return;
    report_.layout.page = page;
    report_.PrepareReport();
    findObject_ = -1;
    refresh();
    applyFitMode();
}

void PreviewWindow::SaveReport() {
    const QString suffix = QString::fromLatin1(PreparedReportSuffix);
    QString path = QFileDialog::getSaveFileName(this, Tr("Save"), QString(),
                                                Tr("PreparedFiles") + QStringLiteral(" (*.") +
                                                    suffix + QLatin1Char(')'));
    if (path.isEmpty()) return;
    if (!path.endsWith(QLatin1Char('.') + suffix)) path += QLatin1Char('.') + suffix;
    QString error;
    if (!prepared().SaveToFile(path, &error))
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(),
                       Tr("SaveFailed").arg(path, error));
}

void PreviewWindow::OpenReport() {
    const QString suffix = QString::fromLatin1(PreparedReportSuffix);
    const QString path = QFileDialog::getOpenFileName(this, Tr("Open"), QString(),
                                                      Tr("PreparedFiles") + QStringLiteral(" (*.") +
                                                          suffix + QStringLiteral(");;") +
                                                          Tr("AllFiles") + QStringLiteral(" (*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!report_.Prepared().LoadFromFile(path, &error)) {
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(),
                       Tr("OpenFailed").arg(path, error));
        return;
    }
    // The pages now come from the file, not from the layout and its data.
    preparedFromFile_ = true;
    findObject_ = -1;
    page_ = 0;
    refresh();
}

void PreviewWindow::ExportTo(ExportFormat format) {
    const ExportFormatEntry& entry = ExportFormatOf(format);
    const QString suffix = QLatin1String(entry.suffix);
    QString path = QFileDialog::getSaveFileName(this, Tr("Export"), QString(), formatFilter(entry),
                                                nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    if (!path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
        path += QLatin1Char('.') + suffix;
    DialogProgress progress(this, Tr("Exporting"));
    const ExportResult result = ExportReport(format, prepared(), path, &progress);
    if (result.status == ExportResult::Failed)
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(),
                       Tr("ExportFailed").arg(path, result.error));
}

void Report::ShowPreparedReport(QWidget* parent) {
    PreviewWindow preview(*this, parent);
    preview.exec();
}

} // namespace vyz::report
