// The instrument display viewer: asks the USB worker for the display image, draws it into a
// 324 x 244 picture, saves the picture as Screenshot.bmp and puts it on the clipboard. Several
// viewers may be open at once; each frees itself when closed.
#pragma once

#include "data/screen_image.h"
#include "viewer/screen_request.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QColorDialog;
class QLabel;
class QPushButton;

namespace vyz {

// What the viewer needs of the main window, handed over by whoever opens it.
struct ViewerHost {
    QWidget* mainWindow = nullptr; // the viewer opens centred over it
    ScreenEvents events;
    std::function<void(const QString&)> statusMessage; // status line and message history
    std::function<void(const QString&)> errorMessage;  // status line, then a message box
    std::function<void()> help;                        // F1
};

// Writes the picture as a 24-bit bitmap file through the staged writer; false with the system's
// reason in `error`.
bool WritePictureFile(const Picture& picture, const QString& path, QString* error);

class TfrmScreenshot : public QWidget {
    Q_OBJECT
public:
    explicit TfrmScreenshot(ViewerHost host);
    ~TfrmScreenshot() override;

    // Asks the worker for a new image and waits for the answer, keeping the interface
    // responsive; draws, saves and copies the image when it came.
    void BtnGetPictureClick();
    void BtnPenColorClick();
    void BtnBackgroundColorClick();
    void BtnCloseClick() { close(); }

    // Draw the received image, save the picture and copy it to the clipboard.
    void RenderMono();
    void RenderColour();
    void DisableKeypad() { SetKeypadEnabled(false); }
    void EnableKeypad() { SetKeypadEnabled(true); }

    QColorDialog* PenColorDialog() const { return penColorDialog_; }
    QColorDialog* BackgroundColorDialog() const { return backgroundColorDialog_; }
    // The picture last drawn (324 x 244) and the monochrome image unpacked.
    const QImage& Picture() const { return picture_; }
    const PixelMap& PixelMapData() const { return pixelMap_; }
    bool RequestPending() const { return request_ != nullptr; }
    QString ScreenshotPath;

    // The viewers open now, oldest first.
    static const std::vector<TfrmScreenshot*>& OpenViewers();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void SetKeypadEnabled(bool enabled);
    // Shows the picture, saves it and copies it to the clipboard.
    void Publish(const vyz::Picture& picture);
    void RunColourDialog(QColorDialog* dialog, const char* key);

    ViewerHost host_;
    QLabel* DeviceScreenShotImage = nullptr;
    QPushButton* BtnPenColor = nullptr;
    QPushButton* BtnBackgroundColor = nullptr;
    QPushButton* BtnExit = nullptr;
    std::array<QPushButton*, 12> keypad_{};
    QColorDialog* penColorDialog_ = nullptr;
    QColorDialog* backgroundColorDialog_ = nullptr;

    std::shared_ptr<ScreenRequest> request_; // the request this viewer waits for
    std::shared_ptr<ScreenRequest> image_;   // the last image received (drawn again on demand)
    int32_t imageSize_ = 0;
    PixelMap pixelMap_{};
    QImage picture_;
    bool closeRequested_ = false;
};

} // namespace vyz
