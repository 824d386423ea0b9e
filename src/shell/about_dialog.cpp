#include "shell/about_dialog.h"

#include "data/text_pair.h"
#include "shell/main_window.h"

#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

namespace vyz {

namespace {

const MakerData maker{
    "ООО «Пример-Прибор»", "Example Instruments Ltd.", "+0 (000) 000-00-00, 000-00-01",
    "www.example.org",     "Сайт производителя",       "The maker's web page",
    "info@example.org",    "support@example.org",      "service@example.org",
};

const TextPair AboutTexts[] = {
    {"тел./факс.", "tel. / fax."},            // LabelFax
    {"(многоканальный)", "(multichannel)"},   // LabelMulti, LabelMulti2
    {"Сайт:", "Website"},                     // lblSite
    {"Общие вопросы:", "General questions:"}, // lblEmailInfo
    {"Техподдержка:", "Tech Support:"},       // lblTech
    {"Сервис:", "Service:"},                  // lblService
};

const TextPair MonthNames[12] = {
    {" января ", " January "},  {" февраля ", " February "}, {" марта ", " March "},
    {" апреля ", " April "},    {" мая ", " May "},          {" июня ", " June "},
    {" июля ", " July "},       {" августа ", " August "},   {" сентября ", " September "},
    {" октября ", " October "}, {" ноября ", " November "},  {" декабря ", " December "},
};
const TextPair UnknownMonth{" января ", " Jan "};
const char* const MonthTokens[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const TextPair AboutCaption{"О программе ", "About "};
const char* const EmailHint = "Написать письмо"; // the same in both languages

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// The maker's logo: a drawn placeholder.
QPixmap Logo() {
    QPixmap pm(148, 90);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 70, 140), 6));
    p.setBrush(QColor(220, 232, 245));
    p.drawRoundedRect(QRectF(6, 6, 136, 78), 16, 16);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(40);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, "VYZ");
    return pm;
}

} // namespace

const MakerData& Maker() {
    return maker;
}

BuildDateTokens SplitBuildDate(const QString& buildDate) {
    const QStringList parts = buildDate.split(' ', Qt::SkipEmptyParts);
    BuildDateTokens t;
    if (parts.size() > 0) t.month = parts[0];
    if (parts.size() > 1) t.day = parts[1];
    if (parts.size() > 2) t.year = parts[2];
    return t;
}

QString MonthName(const QString& monthToken, int lang) {
    const QString key = monthToken.left(3);
    for (int i = 0; i < 12; ++i)
        if (key == QLatin1String(MonthTokens[i])) return U(MonthNames[i].in(lang));
    return U(UnknownMonth.in(lang));
}

QString VersionLine(const QString& fileVersion, const BuildDateTokens& date, int lang) {
    const QString month = MonthName(date.month, lang);
    if (lang == 0)
        return U("Версия ") + fileVersion + U(" от ") + date.day + month + date.year + U(" г.");
    return "Version " + fileVersion + " from " + month + date.day + ", " + date.year;
}

QString LegalNotice(const QString& legalCopyright, int lang) {
    const int p = legalCopyright.indexOf(QLatin1String(MakerNameMarker));
    if (p < 0) return legalCopyright;
    return legalCopyright.left(p) + U(lang == 0 ? maker.nameRu : maker.nameEn);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle(U("О программе..."));
    setFixedSize(306, 269);
    // The dialog is laid out in pixels for a small dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setGeometry(8, 8, 289, 201);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);

    auto label = [panel](const char* name, int x, int y, const QString& text = {}) {
        auto* l = new QLabel(text, panel);
        l->setObjectName(name);
        l->move(x, y);
        return l;
    };
    Image1 = label("Image1", 8, 16);
    Image1->setFixedSize(74, 45);
    Image1->setScaledContents(true);
    Image1->setPixmap(Logo());
    ProductName = label("ProductName", 88, 16, "Product Name");
    Version = label("Version", 88, 40, "Version");
    txtCopyright = label("txtCopyright", 8, 72, U("© ") + U(maker.nameRu));
    LabelFax = label("LabelFax", 8, 96);
    Comments = label("Comments", 65, 96, U(maker.phones));
    Comments->setWordWrap(true);
    Comments->setFixedWidth(96);
    LabelMulti = label("LabelMulti", 168, 96);
    LabelMulti2 = label("LabelMulti2", 168, 109);
    lblSite = label("lblSite", 40, 133);
    LabelWWW = label("LabelWWW", 162, 133, U(maker.web));
    lblEmailInfo = label("lblEmailInfo", 40, 149);
    LabelEMail = label("LabelEMail", 162, 149, U(maker.emailInfo));
    lblTech = label("lblTech", 40, 165);
    Label1 = label("Label1", 162, 165, U(maker.emailTech));
    lblService = label("lblService", 42, 179);
    Label3 = label("Label3", 161, 179, U(maker.emailService));

    for (QLabel* link : {LabelWWW, LabelEMail, Label1, Label3}) {
        link->setStyleSheet("color: blue; text-decoration: underline;");
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
        link->setToolTip(U(EmailHint));
    }
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(120, 228, 82, 25);
    OKButton->setDefault(true);
    OKButton->installEventFilter(this);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
    for (QLabel* l : panel->findChildren<QLabel*>())
        l->adjustSize();
    Image1->setFixedSize(74, 45);
}

void TAboutBox::FormCreate() {
    const int lang = LangIndex.load();
    if (Form1) ProductName->setText(Form1->windowTitle());
    LabelFax->setText(U(AboutTexts[0].in(lang)));
    LabelMulti->setText(U(AboutTexts[1].in(lang)));
    LabelMulti2->setText(U(AboutTexts[1].in(lang)));
    lblSite->setText(U(AboutTexts[2].in(lang)));
    lblEmailInfo->setText(U(AboutTexts[3].in(lang)));
    lblTech->setText(U(AboutTexts[4].in(lang)));
    lblService->setText(U(AboutTexts[5].in(lang)));
    const QString webHint = U(lang == 0 ? maker.webHint : maker.webHintEn);
    LabelWWW->setToolTip(webHint);
    Image1->setToolTip(webHint);
}

void TAboutBox::ShowVersion(const QString& internalName, const QString& fileVersion,
                            const QString& legalCopyright, const BuildDateTokens& date) {
    const int lang = LangIndex.load();
    if (!internalName.isEmpty()) setWindowTitle(U(AboutCaption.in(lang)) + internalName);
    if (!fileVersion.isEmpty()) Version->setText(VersionLine(fileVersion, date, lang));
    if (!legalCopyright.isEmpty()) txtCopyright->setText(LegalNotice(legalCopyright, lang));
    for (QLabel* l : {Version, txtCopyright}) {
        // A long line wraps inside the panel.
        l->setWordWrap(true);
        l->setFixedWidth(289 - l->x() - 4);
        l->adjustSize();
    }
}

void TAboutBox::LabelEMailClick(QLabel* sender) {
    QDesktopServices::openUrl(QUrl("mailto:" + sender->text()));
}

void TAboutBox::LabelWWWClick() {
    QString web = U(maker.web);
    if (!web.contains("://")) web = "https://" + web;
    QDesktopServices::openUrl(QUrl(web));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == LabelWWW || watched == Image1) {
            LabelWWWClick();
            return true;
        }
        if (watched == LabelEMail || watched == Label1 || watched == Label3) {
            LabelEMailClick(static_cast<QLabel*>(watched));
            return true;
        }
    }
    if (watched == OKButton && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        if (Form1) Form1->AHelpExecute();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        if (Form1) Form1->AHelpExecute();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutBox::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

} // namespace vyz
