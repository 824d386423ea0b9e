// The About dialog: product title, the version and build date compiled into the program, the
// maker's legal notice and contact lines, whose web and mail addresses open in the desktop's
// browser and mail program.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QLabel;
class QPushButton;

namespace vyz {

// The maker's own data, shown by the dialog (neutral placeholders in this build).
struct MakerData {
    const char* nameRu;
    const char* nameEn;
    const char* phones;
    const char* web;     // shown and opened
    const char* webHint; // hint of the web address and of the logo, Russian / English below
    const char* webHintEn;
    const char* emailInfo;
    const char* emailTech;
    const char* emailService;
};
const MakerData& Maker();
// The text in the compiled legal notice that stands for the maker's name.
inline constexpr const char* MakerNameMarker = "%MAKER%";

// The build date in the compiler's form "Mmm dd yyyy", split at blanks into its month, day and
// year tokens (a one-digit day is padded with a blank by the compiler; runs of blanks count as
// one).
struct BuildDateTokens {
    QString month, day, year;
};
BuildDateTokens SplitBuildDate(const QString& buildDate);
// The month name for the version line, with a blank on either side, chosen by the first three
// letters of the month token; anything else gives " января " / " Jan ".
QString MonthName(const QString& monthToken, int lang);
// "Версия 4.1.3.32 от 31 июля 2020 г." / "Version 4.1.3.32 from  July 31, 2020".
QString VersionLine(const QString& fileVersion, const BuildDateTokens& date, int lang);
// The legal notice: the text before the maker-name marker followed by the maker's name, or the
// whole notice when it has no marker.
QString LegalNotice(const QString& legalCopyright, int lang);

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog with its designed texts and the labels of the language `LangIndex` names.
    explicit TAboutBox(QWidget* parent);

    QLabel* Image1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* txtCopyright = nullptr;
    QLabel* LabelFax = nullptr;
    QLabel* Comments = nullptr;
    QLabel* LabelMulti = nullptr;
    QLabel* LabelMulti2 = nullptr;
    QLabel* lblSite = nullptr;
    QLabel* LabelWWW = nullptr;
    QLabel* lblEmailInfo = nullptr;
    QLabel* LabelEMail = nullptr;
    QLabel* lblTech = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblService = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* OKButton = nullptr;

    // Fills the caption, version line and legal notice from the compiled version values.
    void ShowVersion(const QString& internalName, const QString& fileVersion,
                     const QString& legalCopyright, const BuildDateTokens& date);

    void LabelEMailClick(QLabel* sender);
    void LabelWWWClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;   // FormKeyDown: F1
    void keyReleaseEvent(QKeyEvent* event) override; // FormKeyUp: Esc
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
};

} // namespace vyz
