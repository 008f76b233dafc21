// The help menu and its commands, the manual they open (in a browser, or its
// manual page in a terminal), the About window with and without the
// version file, and the splash window: its picture, the premultiplication,
// the fade and how it closes. The build's own version file, splash picture and
// icon are checked as shipped.
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QMessageBox>
#include <QtTest>
#include <functional>
#include <memory>

#include "AddFailed.h"
#include "ApplicationIcon.h"
#include "GuiTestSupport.h"
#include "LinkLabel.h"
#include "FFLoad.h"
#include "FormAbout.h"
#include "FormSplash.h"
#include "FormMain.h"
#include "HelpManual.h"
#include "MainThread.h"
#include "UtilFuncsGui.h"
#include "globals.h"

namespace {

bool WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QString BuildFile(const char* name) { return QString(TEMBRIO_BUILD_DIR) + "/" + name; }

QString Rights(const QString& company) {
    return QString("Copyright (C) %1 %2. Free software under the GNU General Public License, version 3 or later; "
                   "it comes with no warranty.")
        .arg(QDate::currentDate().year())
        .arg(company);
}

// Sets an environment variable (a null value unsets it) for as long as it lives.
class TEnvironmentVariable {
public:
    TEnvironmentVariable(const char* name, const QByteArray& value)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        Set(value);
    }
    ~TEnvironmentVariable() { Set(wasSet_ ? old_ : QByteArray()); }

private:
    void Set(const QByteArray& value) {
        if (value.isNull()) qunsetenv(name_);
        else qputenv(name_, value);
    }
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

bool MakeScript(const QString& path, const QByteArray& text) {
    return WriteAll(path, text) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The message of what `load` raises; empty when it raises nothing.
QString RaisedBy(const std::function<void()>& load) {
    try {
        load();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }
    return {};
}

} // namespace

class AuxWindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;
    TUrlRecorder urls_;

    std::string AppDir() const { return appDir_->path().toStdString() + "/"; }


private slots:
    void initTestCase() {
        for (const char* scheme : {"https", "mailto", "file"}) QDesktopServices::setUrlHandler(scheme, &urls_, "open");
    }

    void cleanupTestCase() {
        for (const char* scheme : {"https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(scheme);
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        form_ = std::make_unique<TFormMain>(AppDir() + "tembrio");
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        urls_.Urls.clear();
    }

    void cleanup() {
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    void helpOpensItsMenuJustBelowTheButton() {
        // High enough on the screen for the menu to fit below the button.
        form_->move(10, -300);
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QMenu* menu = form_->PopupMenuHelp;
        QVERIFY(!menu->isVisible());
        form_->ButtonHelp->click();
        QVERIFY(menu->isVisible());
        const QRect button(form_->ButtonHelp->mapToGlobal(QPoint(0, 0)), form_->ButtonHelp->size());
        QCOMPARE(menu->pos(), QPoint(button.left(), button.bottom() + 1));
        QCOMPARE(form_->HelpMenuPoint(), menu->pos());

        QStringList items;
        for (const QAction* a : menu->actions()) items << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(items, QStringList({"Help Content", "-", "Home Page", "Check for Updates...",
                                     "Contact Technical Support...", "-", "About"}));
        QCOMPARE(form_->ActionHelpContent->shortcut(), QKeySequence(Qt::Key_F1));

        // Choosing an item runs its command.
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(form_->ActionHomePage).center());
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/")}));
        QVERIFY(!menu->isVisible());
    }

    void helpCommandsHandTheirAddressesToTheDesktop() {
        form_->ActionHelpContent->trigger();
        form_->ActionHomePage->trigger();
        form_->ActionCheckforUpdates->trigger();
        form_->ActionContactTechnicalSupport->trigger();
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/help/"), QUrl("https://tembrio.org/"),
                                           QUrl("https://tembrio.org/download/"), QUrl("mailto:support@tembrio.org")}));

        // F1 works wherever the focus is in the window.
        urls_.Urls.clear();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::keyClick(form_->ButtonNext, Qt::Key_F1);
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/help/")}));
    }

    // With nothing on the desktop to take them, the hand-offs say what could
    // not be opened instead of doing nothing.
    void aHandOffNothingTakesSaysSo() {
        for (const char* scheme : {"https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(scheme);
        QStringList told;
        auto answer = [&] {
            OnNextModal(this, [&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                told << box->text();
                box->accept();
            });
        };
        answer();
        form_->ActionHomePage->trigger();
        answer();
        QVERIFY(!ShellOpen(home_->path().toStdString() + "/song one.wav", form_.get()));
        for (const char* scheme : {"https", "mailto", "file"}) QDesktopServices::setUrlHandler(scheme, &urls_, "open");
        QCOMPARE(told.size(), 2);
        QVERIFY2(told[0].contains("\"https://tembrio.org/\""), qPrintable(told[0]));
        QVERIFY2(told[1].contains("\"" + home_->path() + "/song one.wav\""), qPrintable(told[1]));
    }

    // The help address is settled when the window starts: with a manual beside
    // the program it is the manual, for the menu and the failed-adds list alike.
    void helpOpensTheManualBesideTheProgram() {
        QVERIFY(WriteAll(appDir_->path() + "/manual.html", "<!DOCTYPE html><title>manual</title>"));
        form_.reset();
        form_ = std::make_unique<TFormMain>(AppDir() + "tembrio");
        TEnvironmentVariable browser("BROWSER", "x-www-browser");
        form_->ActionHelpContent->trigger();
        TFormFailedAddFile failed({"broken.mp3"}, form_->Vars().HelpAddress, form_.get());
        failed.ButtonMoreInfo->click();
        const QUrl manual = QUrl::fromLocalFile(appDir_->path() + "/manual.html");
        QCOMPARE(urls_.Urls, QList<QUrl>({manual, manual}));
    }

    void theManualIsFoundWhereAnInstallationPutsIt() {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin"));
        const std::string bin = prefix.path().toStdString() + "/bin/";
        const std::string web = "https://tembrio.org/help/";
        QCOMPARE(HelpAddressFor(bin, web), web);
        QCOMPARE(ManPageFile(bin), std::string());

        QVERIFY(QDir(prefix.path()).mkpath("share/doc/tembrio") && QDir(prefix.path()).mkpath("share/man/man1"));
        QVERIFY(WriteAll(prefix.path() + "/share/doc/tembrio/manual.html", "<!DOCTYPE html>"));
        QVERIFY(WriteAll(prefix.path() + "/share/man/man1/tembrio.1.gz", "\x1f\x8b"));
        QCOMPARE(HelpAddressFor(bin, web), prefix.path().toStdString() + "/share/doc/tembrio/manual.html");
        QCOMPARE(ManPageFile(bin), prefix.path().toStdString() + "/share/man/man1/tembrio.1.gz");
    }

    // xdg-open would take the page and show nothing: without a browser the
    // program's manual page opens in a terminal, and with no terminal either
    // the address goes to the desktop as any other.
    void withoutABrowserTheManualPageOpensInATerminal() {
        QTemporaryDir tools;
        const QString args = tools.path() + "/terminal-args";
        const QString terminal = tools.path() + "/x-terminal-emulator";
        QVERIFY(MakeScript(terminal, QString("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part' && /bin/mv '%1.part' '%1'\n")
                                         .arg(args)
                                         .toLocal8Bit()));
        QVERIFY(MakeScript(tools.path() + "/man", "#!/bin/sh\n"));
        TEnvironmentVariable path("PATH", QFile::encodeName(tools.path()));
        TEnvironmentVariable browser("BROWSER", QByteArray());
        QVERIFY(!WebBrowserPresent());

        form_->ActionHelpContent->trigger();
        QTRY_VERIFY(QFile::exists(args));
        QFile given(args);
        QVERIFY(given.open(QIODevice::ReadOnly));
        const QString manPage = QFileInfo(BuildFile("man/man1/tembrio.1.gz")).canonicalFilePath();
        QVERIFY(!manPage.isEmpty());
        QCOMPARE(QString::fromLocal8Bit(given.readAll()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"-e", "man", "-l", manPage}));
        QVERIFY(urls_.Urls.isEmpty());

        QVERIFY(QFile::remove(terminal));
        form_->ActionHelpContent->trigger();
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/help/")}));
    }

    void aboutOpensCentredOnTheMainWindow() {
        form_->move(60, 20);
        bool seen = false;
        OnNextModal(this, [&](QWidget* modal) {
            auto* about = qobject_cast<TFormAbout*>(modal);
            QVERIFY(about);
            seen = true;
            QCOMPARE(about->parentWidget(), form_.get());
            const QRect main = form_->frameGeometry();
            QCOMPARE(about->x(), main.left() + (main.width() - about->width()) / 2);
            QCOMPARE(about->y(), main.top() + (main.height() - about->height()) / 2);
            about->ButtonOK->click();
        });
        form_->ActionAbout->trigger();
        QVERIFY(seen);
        QVERIFY(form_->findChildren<TFormAbout*>().isEmpty());
    }

    void aboutWithoutTheVersionFile() {
        TFormAbout about(form_->Vars(), AppDir());
        QCOMPARE(about.windowTitle(), QString("About Tembrio Audio Converter"));
        QCOMPARE(about.labAppName->text(), QString("Tembrio Audio Converter "));
        QCOMPARE(about.labRights->text(), Rights(""));
        QVERIFY(about.labAppName->font().bold());
        QVERIFY(!about.labWarning->text().isEmpty());
        QVERIFY(about.width() >= 441 && about.height() >= 344);  // more under a larger font
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QCOMPARE(about.ButtonOK->text(), QString("OK"));
        QVERIFY(about.ButtonOK->isDefault());

        QCOMPARE(about.labHomePage->text(), QString("https://tembrio.org/"));
        QCOMPARE(about.labSupportMail->text(), QString("support@tembrio.org"));
        for (const QLabel* link : {about.labHomePage, about.labSupportMail}) {
            QVERIFY(link->font().underline());
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        }
    }

    void aboutShowsTheVersionAndCompany() {
        QVERIFY(WriteAll(appDir_->path() + "/lame.dll", "[SYSTEM]\nVersion=2.5.1\nCompany=Acme Sound Works\n"));
        TFormAbout about(form_->Vars(), AppDir());
        QCOMPARE(about.labAppName->text(), QString("Tembrio Audio Converter 2.5.1"));
        QCOMPARE(about.labRights->text(), Rights("Acme Sound Works"));

        // Keys are found whatever their case; a missing one reads as empty.
        QVERIFY(WriteAll(appDir_->path() + "/lame.dll", "[system]\nversion=3.0\n"));
        TFormAbout partial(form_->Vars(), AppDir());
        QCOMPARE(partial.labAppName->text(), QString("Tembrio Audio Converter 3.0"));
        QCOMPARE(partial.labRights->text(), Rights(""));
    }

    void aboutLinksOpenTheirTargets() {
        TFormAbout about(form_->Vars(), AppDir());
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.labHomePage, Qt::LeftButton);
        QTest::mouseClick(about.labSupportMail, Qt::LeftButton);
        QTest::mouseClick(about.labRights, Qt::LeftButton);  // not a link
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/"), QUrl("mailto:support@tembrio.org")}));
    }

    void theBuildShipsItsVersionFileAndSplash() {
        const TVersionInfo info = ReadVersionFile(BuildFile("lame.dll").toStdString());
        QCOMPARE(QString::fromStdString(info.Version), QString(TEMBRIO_PROJECT_VERSION));
        QCOMPARE(info.Company, std::string("Tembrio"));

        const QImage splash = LoadSplashPicture(BuildFile("splash.png"));
        QCOMPARE(splash.size(), QSize(400, 250));
        QCOMPARE(splash.format(), QImage::Format_ARGB32);
        // Rounded, translucent edges around an opaque middle.
        QCOMPARE(qAlpha(splash.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(splash.pixel(399, 249)), 0);
        QCOMPARE(qAlpha(splash.pixel(200, 125)), 255);
        const int edge = qAlpha(splash.pixel(200, 3));
        QVERIFY2(edge > 0 && edge < 255, qPrintable(QString::number(edge)));
    }

    // The manual is the README's part for users, with the web pages a link on
    // it, and the manual page is compressed as man reads it.
    void theBuildShipsItsManualAndManualPage() {
        const std::string build = std::string(TEMBRIO_BUILD_DIR) + "/";
        QCOMPARE(QString::fromStdString(ManualFile(build)), BuildFile("manual.html"));
        QFile manual(BuildFile("manual.html"));
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(manual.readAll());
        QVERIFY(text.contains("<a href=\"https://tembrio.org/help/\">"));
        for (const char* section : {"The desktop program", "The command-line converter", "Licence"})
            QVERIFY2(text.contains(QString(">%1</h2>").arg(section)), section);
        QVERIFY(text.contains("GPL-3.0-or-later"));
        // Commands as someone who installed the programs types them.
        QVERIFY(!text.contains("build/tembrio"));

        QFile page(QString::fromStdString(ManPageFile(build)));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QCOMPARE(page.read(2), QByteArray("\x1f\x8b"));
    }

    // Where no icon theme has it (the build folder), the program's own copy
    // stands in, in the smallest and the largest size a desktop asks for.
    void theIconIsBuiltIntoTheProgram() {
        QIcon::setThemeSearchPaths({});
        QIcon::setFallbackSearchPaths({});
        const QIcon icon = ApplicationIcon();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(16).size(), QSize(16, 16));
        QCOMPARE(icon.pixmap(256).size(), QSize(256, 256));
    }

    void premultiplyingRoundsDown() {
        QImage picture(5, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(200, 100, 0, 255));
        picture.setPixel(1, 0, qRgba(200, 100, 1, 200));
        picture.setPixel(2, 0, qRgba(255, 128, 77, 0));
        picture.setPixel(3, 0, qRgba(255, 254, 3, 128));
        picture.setPixel(4, 0, qRgba(255, 255, 255, 1));
        const QImage result = PremultiplyPicture(picture);
        QCOMPARE(result.format(), QImage::Format_ARGB32_Premultiplied);
        const auto* p = reinterpret_cast<const QRgb*>(result.constScanLine(0));
        QCOMPARE(p[0], qRgba(200, 100, 0, 255));
        QCOMPARE(p[1], qRgba(156, 78, 0, 200));  // 200 * 200 / 255 = 156.9
        QCOMPARE(p[2], qRgba(0, 0, 0, 0));
        QCOMPARE(p[3], qRgba(128, 127, 1, 128));
        QCOMPARE(p[4], qRgba(1, 1, 1, 1));
    }

    void theFadeTakesEightyFiveSteps() {
        const std::vector<int> steps = SplashFadeSteps();
        QCOMPARE(steps.size(), size_t(85));
        QCOMPARE(std::vector<int>(steps.begin(), steps.begin() + 6), (std::vector<int>{8, 16, 24, 32, 39, 46}));
        QCOMPARE(std::vector<int>(steps.end() - 3, steps.end()), (std::vector<int>{253, 254, 255}));
        int alpha = 0;
        for (int step : steps) {
            QCOMPARE(step, alpha + (255 - alpha) / 32 + 1);
            alpha = step;
        }
    }

    void wrongSplashPicturesAreRefused() {
        const QString dir = appDir_->path();
        QImage rgb(40, 20, QImage::Format_RGB32);
        rgb.fill(Qt::darkCyan);
        QVERIFY(rgb.save(dir + "/rgb.png", "PNG"));
        QImage gray(40, 20, QImage::Format_Grayscale8);
        gray.fill(Qt::gray);
        QVERIFY(gray.save(dir + "/gray.png", "PNG"));
        QImage deep(40, 20, QImage::Format_RGBA64);
        deep.fill(QColor(10, 20, 30, 40));
        QVERIFY(deep.save(dir + "/deep.png", "PNG"));
        QImage good(40, 20, QImage::Format_ARGB32);
        good.fill(QColor(10, 20, 30, 40));
        QVERIFY(good.save(dir + "/good.png", "PNG"));
        QVERIFY(WriteAll(dir + "/noise.png", "not a picture at all"));

        const QString wrong = "Wrong bitmap format - must be 32 bits/pixel";
        for (const char* name : {"rgb.png", "gray.png", "deep.png"})
            QCOMPARE(RaisedBy([&] { LoadSplashPicture(dir + "/" + name); }), wrong);
        QCOMPARE(RaisedBy([&] { LoadSplashPicture(dir + "/good.png"); }), QString());
        QCOMPARE(RaisedBy([&] { LoadSplashPicture(dir + "/noise.png"); }),
                 QString("Cannot load picture \"%1/noise.png\"").arg(dir));
        QVERIFY(RaisedBy([&] { LoadSplashPicture(dir + "/missing.png"); })
                    .startsWith(QString("Cannot open file \"%1/missing.png\". ").arg(dir)));

        // A refused picture is never shown.
        TFormSplash splash;
        QCOMPARE(RaisedBy([&] { splash.FadeIn(dir + "/rgb.png"); }), wrong);
        QVERIFY(!splash.isVisible());
        QVERIFY(!splash.TimerSplash->isActive());
    }

    void theSplashFadesInAndItsTimerClosesIt() {
        QPointer<TFormSplash> splash = new TFormSplash;
        QVERIFY(!splash->TimerSplash->isActive());
        splash->FadeIn(BuildFile("splash.png"));
        QVERIFY(splash->isVisible());
        QCOMPARE(splash->ConstantAlpha(), 255);
        QCOMPARE(splash->size(), QSize(400, 250));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(splash->pos(), QPoint((screen.width() - 400) / 2, (screen.height() - 250) / 2));
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(splash->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(splash->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(splash->TimerSplash->interval(), 1000);
        QVERIFY(splash->TimerSplash->isActive());

        // Fully faded in, the window shows the picture itself.
        const QImage shown = splash->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(shown.pixel(200, 125), splash->Picture().pixel(200, 125));

        // The tick, brought forward: it closes the splash, and closing frees it.
        splash->TimerSplash->setInterval(0);
        QTRY_VERIFY(splash.isNull());
    }

    void aTypedKeyClosesTheSplash() {
        QPointer<TFormSplash> splash = new TFormSplash;
        splash->FadeIn(BuildFile("splash.png"));
        splash->TimerSplash->stop();  // only the key may close it here
        QTest::keyClick(splash.data(), Qt::Key_Shift);
        QTest::keyClick(splash.data(), Qt::Key_Left);
        QVERIFY(splash->isVisible());
        QTest::keyClick(splash.data(), Qt::Key_Space);
        QTRY_VERIFY(splash.isNull());
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<AuxWindowsTest>(argc, argv); }

#include "AuxWindowsTest.moc"
