// The About dialog: the version line and legal notice in both languages, the dialog built by the
// command with its texts, the links handed to the desktop, the keys.
#include "data/text_pair.h"
#include "platform/paths.h"
#include "shell/about_dialog.h"
#include "shell/main_window.h"
#include "support/modal_script.h"
#include "vyz_version.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace vyz;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestAbout : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<TForm1> main_;

    // Runs the About command; `inspect` sees the dialog while it is shown and closes it.
    void RunAbout(const std::function<void(TAboutBox*)>& inspect) {
        testsupport::ModalScript script({[&](QWidget* w) {
            auto* box = qobject_cast<TAboutBox*>(w);
            QVERIFY(box);
            inspect(box);
            if (box->isVisible()) box->reject();
        }});
        main_->AAboutExecute();
        QCOMPARE(script.seen.size(), 1);
        QCOMPARE(script.left(), 0);
    }

private slots:
    void initTestCase() {
        InitProgramPaths(dir_.path().toStdString());
        main_ = std::make_unique<TForm1>();
        main_->show();
    }
    void cleanup() { LangIndex = 0; }

    void versionLine_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("line");
        QTest::newRow("ru") << "Jul 31 2020" << 0
                            << QString::fromUtf8("Версия 4.1.3.32 от 31 июля 2020 г.");
        QTest::newRow("en: two blanks after from")
            << "Jul 31 2020" << 1 << "Version 4.1.3.32 from  July 31, 2020";
        QTest::newRow("ru: one-digit day")
            << "Mar  1 2021" << 0 << QString::fromUtf8("Версия 4.1.3.32 от 1 марта 2021 г.");
        QTest::newRow("en: one-digit day")
            << "Mar  1 2021" << 1 << "Version 4.1.3.32 from  March 1, 2021";
        QTest::newRow("ru: December")
            << "Dec 24 2026" << 0 << QString::fromUtf8("Версия 4.1.3.32 от 24 декабря 2026 г.");
        QTest::newRow("en: May") << "May 09 2019" << 1 << "Version 4.1.3.32 from  May 09, 2019";
        QTest::newRow("ru: unknown month")
            << "Xyz 31 2020" << 0 << QString::fromUtf8("Версия 4.1.3.32 от 31 января 2020 г.");
        QTest::newRow("en: unknown month")
            << "Xyz 31 2020" << 1 << "Version 4.1.3.32 from  Jan 31, 2020";
        QTest::newRow("en: month by its first three letters")
            << "September 5 2020" << 1 << "Version 4.1.3.32 from  September 5, 2020";
    }
    void versionLine() {
        QFETCH(QString, date);
        QFETCH(int, lang);
        QFETCH(QString, line);
        QCOMPARE(VersionLine("4.1.3.32", SplitBuildDate(date), lang), line);
    }

    void allMonths() {
        const char* tokens[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const char* ru[] = {" января ",   " февраля ", " марта ",  " апреля ",
                            " мая ",      " июня ",    " июля ",   " августа ",
                            " сентября ", " октября ", " ноября ", " декабря "};
        const char* en[] = {" January ",   " February ", " March ",    " April ",
                            " May ",       " June ",     " July ",     " August ",
                            " September ", " October ",  " November ", " December "};
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(MonthName(tokens[i], 0), QString::fromUtf8(ru[i]));
            QCOMPARE(MonthName(tokens[i], 1), QString::fromUtf8(en[i]));
        }
        QCOMPARE(MonthName("jul", 1), QString(" Jan ")); // the compiler's tokens are capitalised
    }

    void legalNotice_data() {
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("notice");
        QTest::newRow("ru") << "Copyright (C) 2026 %MAKER%" << 0
                            << QString::fromUtf8("Copyright (C) 2026 ООО «Пример-Прибор»");
        QTest::newRow("en") << "Copyright (C) 2026 %MAKER%" << 1
                            << "Copyright (C) 2026 Example Instruments Ltd.";
        QTest::newRow("text after the marker is replaced")
            << "(C) %MAKER%, all rights" << 1 << "(C) Example Instruments Ltd.";
        QTest::newRow("no marker: whole")
            << "Copyright (C) 2026 Someone" << 1 << "Copyright (C) 2026 Someone";
    }
    void legalNotice() {
        QFETCH(QString, copyright);
        QFETCH(int, lang);
        QFETCH(QString, notice);
        QCOMPARE(LegalNotice(copyright, lang), notice);
    }

    void dialogTexts_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("labels"); // fax, multi, site, general, tech, service
        QTest::newRow("ru") << 0 << QString::fromUtf8("О программе Vyz")
                            << QStringList{QString::fromUtf8("тел./факс."),
                                           QString::fromUtf8("(многоканальный)"),
                                           QString::fromUtf8("Сайт:"),
                                           QString::fromUtf8("Общие вопросы:"),
                                           QString::fromUtf8("Техподдержка:"),
                                           QString::fromUtf8("Сервис:")};
        QTest::newRow("en") << 1 << "About Vyz"
                            << QStringList{"tel. / fax.",        "(multichannel)", "Website",
                                           "General questions:", "Tech Support:",  "Service:"};
    }
    void dialogTexts() {
        QFETCH(int, lang);
        QFETCH(QString, caption);
        QFETCH(QStringList, labels);
        LangIndex = int8_t(lang); // as after a language switch
        main_->setWindowTitle(lang == 0 ? QString::fromUtf8("VYZ. Плотномер асфальта")
                                        : "VYZ. Pavement quality tester");
        RunAbout([&](TAboutBox* box) {
            QCOMPARE(box->windowTitle(), caption);
            QCOMPARE(box->ProductName->text(), main_->windowTitle());
            const BuildDateTokens date = SplitBuildDate(QString::fromLatin1(__DATE__));
            QCOMPARE(box->Version->text(), VersionLine(version::FileVersion, date, lang));
            QVERIFY(box->Version->text().startsWith(
                lang == 0 ? QString::fromUtf8("Версия ") + version::FileVersion +
                                QString::fromUtf8(" от ")
                          : QString("Version ") + version::FileVersion + " from  "));
            QCOMPARE(box->txtCopyright->text(), LegalNotice(version::LegalCopyright, lang));
            QVERIFY(!box->txtCopyright->text().contains(MakerNameMarker));
            QCOMPARE((QStringList{box->LabelFax->text(), box->LabelMulti->text(),
                                  box->lblSite->text(), box->lblEmailInfo->text(),
                                  box->lblTech->text(), box->lblService->text()}),
                     labels);
            QCOMPARE(box->LabelMulti2->text(), labels[1]);
            for (QLabel* mail : {box->LabelEMail, box->Label1, box->Label3})
                QCOMPARE(mail->toolTip(), QString::fromUtf8("Написать письмо"));
            QCOMPARE(box->size(), QSize(306, 269));
        });
    }

    void links() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("mailto", &catcher, "open");
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        RunAbout([&](TAboutBox* box) {
            QTest::mouseClick(box->Label1, Qt::LeftButton);
            QTest::mouseClick(box->LabelWWW, Qt::LeftButton);
            QTest::mouseClick(box->Image1, Qt::LeftButton);
            QTest::mouseClick(box->LabelEMail, Qt::LeftButton);
            QTest::mouseClick(box->Label3, Qt::LeftButton);
        });
        QDesktopServices::unsetUrlHandler("mailto");
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls,
                 (QList<QUrl>{QUrl("mailto:support@example.org"), QUrl("https://www.example.org"),
                              QUrl("https://www.example.org"), QUrl("mailto:info@example.org"),
                              QUrl("mailto:service@example.org")}));
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Esc released") << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("Enter presses OK") << int(Qt::Key_Return) << int(QDialog::Accepted);
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, result);
        int got = -1;
        RunAbout([&](TAboutBox* box) {
            connect(box, &QDialog::finished, [&](int r) { got = r; });
            if (key == Qt::Key_Escape)
                QTest::keyRelease(box, Qt::Key_Escape);
            else
                QTest::keyClick(box->OKButton, Qt::Key(key));
        });
        QCOMPARE(got, result);
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
