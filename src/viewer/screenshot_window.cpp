#include "viewer/screenshot_window.h"

#include "data/text_pair.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/staged_write.h"
#include "platform/text_string.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace vyz {

namespace {

const TextPair CaptionText{"Экран прибора", "Screenshots"};
const TextPair PenColorText{"Цвет чернил", "Ink Color"};
const TextPair BackgroundColorText{"Цвет фона", "Backgr. Color"};
const TextPair UsbOnlyText{
    "Экран прибора считывается только через USB: выберите порт USB",
    "The instrument's display can only be read over USB: choose the USB port"};
const TextPair SaveFailedText{"Не удалось записать файл ", "Cannot write the file "};

constexpr const char* Section = "Screenshot";
constexpr uint32_t DefaultPenColor = 2436127;
constexpr uint32_t DefaultBackgroundColor = 15395553;
constexpr uint32_t BadPenColor = 16711680;        // blue
constexpr uint32_t BadBackgroundColor = 16777215; // white

QColor ToQColor(uint32_t value) {
    const Rgb c = RgbFromColorValue(value);
    return QColor(c.r, c.g, c.b);
}

Rgb ToRgb(const QColor& c) {
    return {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())};
}

uint32_t ReadColour(const char* key, uint32_t defaultValue, uint32_t badValue) {
    const std::optional<int> v = ParseInt(IniRead(Section, key, std::to_string(defaultValue), 20));
    return v ? uint32_t(*v) : badValue;
}

std::vector<TfrmScreenshot*>& viewers() {
    static std::vector<TfrmScreenshot*> list;
    return list;
}

} // namespace

const std::vector<TfrmScreenshot*>& TfrmScreenshot::OpenViewers() {
    return viewers();
}

TfrmScreenshot::TfrmScreenshot(ViewerHost host)
    : QWidget(host.mainWindow, Qt::Dialog), host_(std::move(host)) {
    setObjectName("frmScreenshot");
    viewers().push_back(this);
    image_ = std::make_shared<ScreenRequest>();
    // The window is laid out in pixels for a small dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::Panel);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 8, PictureWidth, PictureHeight);
    DeviceScreenShotImage = new QLabel(this);
    DeviceScreenShotImage->setObjectName("DeviceScreenShotImage");
    DeviceScreenShotImage->setGeometry(8, 8, PictureWidth, PictureHeight);
    DeviceScreenShotImage->installEventFilter(this);

    auto button = [this](const char* name, const QString& caption, int x, int y, int w, int h) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(x, y, w, h);
        return b;
    };
    BtnPenColor = button("BtnPenColor", {}, 12, 272, 75, 25);
    BtnBackgroundColor = button("BtnBackgroundColor", {}, 100, 272, 75, 25);
    BtnExit = button("BtnExit", QString::fromUtf8("ОК"), 252, 272, 75, 25);
    connect(BtnPenColor, &QPushButton::clicked, this, &TfrmScreenshot::BtnPenColorClick);
    connect(BtnBackgroundColor, &QPushButton::clicked, this,
            &TfrmScreenshot::BtnBackgroundColorClick);
    connect(BtnExit, &QPushButton::clicked, this, &TfrmScreenshot::BtnCloseClick);

    static const char* const names[12] = {"btnM",    "btnUp", "btnRUp",   "btnOff",
                                          "btnLeft", "btnF",  "btnRight", "btnB",
                                          "btnC",    "btnDn", "btnRDn",   "btnAlt"};
    static const char* const captions[12] = {"M",     "Up", "RUp", "Off", "Left", "F",
                                             "Right", "B",  "C",   "Dn",  "RDn",  "Alt"};
    static const int rows[3] = {320, 384, 440};
    for (int i = 0; i < 12; ++i)
        keypad_[i] = button(names[i], captions[i], 8 + 64 * (i % 4), rows[i / 4], 50, 50);
    connect(keypad_[3], &QPushButton::clicked, this, &TfrmScreenshot::BtnCloseClick);

    penColorDialog_ = new QColorDialog(this);
    penColorDialog_->setObjectName("PenColorDialog");
    backgroundColorDialog_ = new QColorDialog(this);
    backgroundColorDialog_->setObjectName("BackgroundColorDialog");

    FormCreate();
}

TfrmScreenshot::~TfrmScreenshot() {
    std::erase(viewers(), this);
    if (request_) ScreenRequestQueue::instance().Withdraw(request_);
}

void TfrmScreenshot::FormCreate() {
    // The design client area is 339 x 500; the window is cut to 340 pixels of height with its
    // title bar (310 of client area), which leaves the keypad rows from y 320 down out of sight.
    resize(339, 310);
    setWindowTitle(Text(CaptionText));
    BtnPenColor->setText(Text(PenColorText));
    BtnBackgroundColor->setText(Text(BackgroundColorText));

    QScreen* screen =
        host_.mainWindow ? host_.mainWindow->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    const QRect main =
        host_.mainWindow ? host_.mainWindow->frameGeometry() : QRect(QPoint(0, 0), screenSize);
    const int w = width();
    const int h = height();
    auto readPosition = [](const char* key, int defaultValue) {
        return ParseInt(IniRead(Section, key, std::to_string(defaultValue), 10))
            .value_or(defaultValue);
    };
    int left = readPosition("Left", main.x() + (main.width() - w) / 2);
    if (left > screenSize.width() - w)
        left = screenSize.width() - w;
    else if (left < 0)
        left = 0;
    int top = readPosition("Top", main.y() + (main.height() - h) / 2);
    if (top > screenSize.height() - h)
        top = screenSize.height() - h - 25;
    else if (top < 0)
        top = 0;
    move(left, top);

    penColorDialog_->setCurrentColor(
        ToQColor(ReadColour("PenColor", DefaultPenColor, BadPenColor)));
    backgroundColorDialog_->setCurrentColor(
        ToQColor(ReadColour("BackgroundColor", DefaultBackgroundColor, BadBackgroundColor)));
    ScreenshotPath = QString::fromStdString(ScreenshotFileName());
    // The first image is asked for by whoever opens the viewer, once it is on the screen, so
    // that the operator can close it while the request waits.
}

void TfrmScreenshot::FormActivate() {
    QScreen* s = screen();
    if (!s) return;
    const QSize screenSize = s->geometry().size();
    const QRect frame = frameGeometry();
    int left = frame.x();
    int top = frame.y();
    if (left < 0)
        left = 0;
    else if (left > screenSize.width() - frame.width())
        left = screenSize.width() - frame.width();
    if (top < 0)
        top = 0;
    else if (top > screenSize.height() - frame.height())
        top = screenSize.height() - frame.height();
    if (left != frame.x() || top != frame.y()) move(left, top);
}

void TfrmScreenshot::SetKeypadEnabled(bool enabled) {
    for (QPushButton* b : keypad_)
        b->setEnabled(enabled);
}

void TfrmScreenshot::BtnGetPictureClick() {
    if (request_ || closeRequested_) return; // one request at a time per viewer
    DisableKeypad();
    auto request = std::make_shared<ScreenRequest>();
    request_ = request;
    ScreenRequestQueue& queue = ScreenRequestQueue::instance();
    queue.Submit(request, host_.events);
    while (!request->finished() && !closeRequested_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!request->finished() && !closeRequested_) queue.Poll(1);
    }
    request_.reset();
    if (closeRequested_) {
        // Closed while waiting: the queue keeps the request's buffer until the worker is done.
        deleteLater();
        return;
    }
    switch (request->outcome) {
    case ScreenRequest::Outcome::NoWorker:
        if (host_.statusMessage) host_.statusMessage(Text(UsbOnlyText));
        break;
    case ScreenRequest::Outcome::Done:
        if (request->dataSize == ColourImageBytes || request->dataSize == MonoImageBytes) {
            image_ = request;
            imageSize_ = request->dataSize;
            if (imageSize_ == ColourImageBytes) {
                RenderColour();
                BtnPenColor->hide();
                BtnBackgroundColor->hide();
            } else {
                BtnPenColor->show();
                BtnBackgroundColor->show();
                RenderMono();
            }
        }
        break;
    default: // failed or cancelled: the worker has said why in the status line
        break;
    }
    EnableKeypad();
}

void TfrmScreenshot::RenderMono() {
    UnpackMono(image_->buffer.data(), pixelMap_);
    Publish(RenderMonoPicture(pixelMap_, ToRgb(penColorDialog_->currentColor()),
                              ToRgb(backgroundColorDialog_->currentColor())));
}

void TfrmScreenshot::RenderColour() {
    Publish(RenderColourPicture(image_->buffer.data()));
}

bool WritePictureFile(const Picture& picture, const QString& path, QString* error) {
    const std::vector<uint8_t> bmp = EncodeBmp24(picture);
    return WriteStaged(path, {bmp.data(), qsizetype(bmp.size())}, error);
}

void TfrmScreenshot::Publish(const vyz::Picture& picture) {
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    for (int y = 0; y < PictureHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < PictureWidth; ++x) {
            const Rgb c = picture.at(x, y);
            line[x] = qRgb(c.r, c.g, c.b);
        }
    }
    picture_ = image;
    DeviceScreenShotImage->setPixmap(QPixmap::fromImage(image));
    if (!ScreenshotPath.isEmpty()) {
        QString error;
        if (!WritePictureFile(picture, ScreenshotPath, &error) && host_.errorMessage)
            host_.errorMessage(Text(SaveFailedText) + ScreenshotPath + " (" + error + ")");
    }
    // The picture goes to the clipboard even when the file could not be written.
    QGuiApplication::clipboard()->setImage(image);
}

void TfrmScreenshot::RunColourDialog(QColorDialog* dialog, const char* key) {
    const QColor before = dialog->currentColor();
    if (dialog->exec() == QDialog::Accepted && dialog->selectedColor().isValid())
        dialog->setCurrentColor(dialog->selectedColor());
    else
        dialog->setCurrentColor(before);
    RenderMono();
    IniWrite(Section, key, std::to_string(ColorValueFromRgb(ToRgb(dialog->currentColor()))));
}

void TfrmScreenshot::BtnPenColorClick() {
    RunColourDialog(penColorDialog_, "PenColor");
}
void TfrmScreenshot::BtnBackgroundColorClick() {
    RunColourDialog(backgroundColorDialog_, "BackgroundColor");
}

void TfrmScreenshot::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closeRequested_) return;
    IniWrite(Section, "Left", std::to_string(frameGeometry().x()));
    IniWrite(Section, "Top", std::to_string(frameGeometry().y()));
    BtnPenColor->setEnabled(false);
    BtnBackgroundColor->setEnabled(false);
    closeRequested_ = true;
    if (request_) {
        // The wait in BtnGetPictureClick ends and frees the window; the request stays with the
        // queue, which cancels it if the worker still searches for the instrument.
        ScreenRequestQueue::instance().Withdraw(request_);
    } else {
        deleteLater();
    }
}

void TfrmScreenshot::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        if (host_.help) host_.help();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmScreenshot::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

bool TfrmScreenshot::eventFilter(QObject* watched, QEvent* event) {
    if (watched == DeviceScreenShotImage && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        BtnGetPictureClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vyz
