// The display viewer and About commands.
#include "platform/message_box.h"
#include "shell/about_dialog.h"
#include "shell/docking.h"
#include "shell/main_window.h"
#include "viewer/screenshot_window.h"
#include "vyz_version.h"

#include <QLabel>
#include <QPointer>

namespace vyz {

void TForm1::AScreenshotExecute() {
    ViewerHost host;
    host.mainWindow = this;
    host.events = {hScreenRdEvent, hScrReadedEvent};
    host.statusMessage = [this](const QString& text) { SetStatusBarGeneral(text); };
    host.errorMessage = [this](const QString& text) {
        SetStatusBarGeneral(text);
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(), text);
    };
    host.help = [this] { AHelpExecute(); };
    auto* viewer = new TfrmScreenshot(std::move(host));
    new ToolWindowDock(viewer, this);
    viewer->show();
    // The first image is asked for as soon as the viewer is on the screen; the wait keeps the
    // interface responsive, and the viewer may be closed (and destroyed) during it.
    viewer->BtnGetPictureClick();
}

void TForm1::AAboutExecute() {
    // The build date is split once, at the first showing.
    static const BuildDateTokens date = SplitBuildDate(QString::fromLatin1(version::BuildDate));
    TAboutBox box(this);
    box.ProductName->setText(windowTitle());
    box.ShowVersion(QString::fromUtf8(version::InternalName),
                    QString::fromUtf8(version::FileVersion),
                    QString::fromUtf8(version::LegalCopyright), date);
    box.move(geometry().center() - box.rect().center());
    box.exec();
}

} // namespace vyz
