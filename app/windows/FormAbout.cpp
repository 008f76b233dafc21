#include "FormAbout.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "Format.h"
#include "IniFile.h"
#include "LinkLabel.h"
#include "ProgramFiles.h"
#include "UtilFuncsGui.h"
#include "globals.h"

namespace {

constexpr int ClientWidth = 441;
constexpr int ClientHeight = 344;
constexpr int PictureWidth = 150;
// The average character width of the font the window's size was made for.
constexpr int BaseCharWidth = 7;

// The notice an interactive program under the GPL shows: who holds the
// copyright, the licence it may be passed on under, and that there is no warranty.
const char* const RightsText =
    "Copyright (C) %d %s. Free software under the GNU General Public License, version 3 or later; "
    "it comes with no warranty.";
const char* const WarningText =
    "This program is meant for converting recordings you own or are allowed to use. "
    "Converting or passing on recordings protected by copyright without the owner's "
    "permission may be against the law where you live.";

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

// No artwork ships with the program: the picture is drawn, a dusk-blue
// field with a sound wave running across it.
class TAboutPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, 0, height());
        sky.setColorAt(0, QColor(18, 40, 92));
        sky.setColorAt(1, QColor(20, 120, 140));
        p.fillRect(rect(), sky);

        const double mid = height() * 0.45;
        for (int layer = 0; layer < 3; ++layer) {
            QPainterPath wave;
            const double amplitude = 38.0 - layer * 11;
            for (int x = 0; x <= width(); ++x) {
                const double t = static_cast<double>(x) / width();
                const double envelope = std::sin(std::numbers::pi * t);
                const double y = mid + amplitude * envelope * std::sin(t * (5 + layer * 2) * std::numbers::pi);
                if (x == 0) wave.moveTo(x, y);
                else wave.lineTo(x, y);
            }
            p.setPen(QPen(QColor(255, 255, 255, 220 - layer * 60), 2.5 - layer * 0.6));
            p.drawPath(wave);
        }

        // A row of level bars below the wave.
        const int bars = 11;
        const double barWidth = width() / (bars * 1.6 + 1);  // gaps of 0.6 bars, a margin of 0.8 each side
        for (int i = 0; i < bars; ++i) {
            const double level = 0.35 + 0.6 * std::fabs(std::sin(i * 0.9 + 0.4));
            const double h = level * height() * 0.22;
            const QRectF bar(barWidth * 0.8 + i * barWidth * 1.6, height() * 0.88 - h, barWidth, h);
            p.fillRect(bar, QColor(255, 200, 90, 200));
        }
    }
};

} // namespace

TVersionInfo ReadVersionFile(const std::string& fileName) {
    const TIniFile ini(fileName);
    return {ini.ReadString("SYSTEM", "Version", ""), ini.ReadString("SYSTEM", "Company", "")};
}

TFormAbout::TFormAbout(const TGlobalVars& vars, const std::string& appDir, QWidget* parent) : QDialog(parent) {
    setObjectName("FormAbout");
    CreateControls();
    FormCreate(vars, appDir);
    FitSize();
}

void TFormAbout::CreateControls() {
    PanelPicture = new TAboutPicture(this);
    PanelPicture->setObjectName("PanelPicture");
    PanelPicture->setFixedWidth(PictureWidth);

    labAppName = new QLabel(this);
    labAppName->setObjectName("labAppName");
    QFont bold = labAppName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    labAppName->setFont(bold);
    labAppName->setWordWrap(true);

    labRights = new QLabel(QString::fromUtf8(RightsText), this);
    labRights->setObjectName("labRights");
    labRights->setWordWrap(true);

    labWarning = new QLabel(QString::fromUtf8(WarningText), this);
    labWarning->setObjectName("labWarning");
    labWarning->setWordWrap(true);

    labHomePage = new TLinkLabel(QString(), this);
    labHomePage->setObjectName("labHomePage");
    labSupportMail = new TLinkLabel(QString(), this);
    labSupportMail->setObjectName("labSupportMail");
    connect(labHomePage, &TLinkLabel::Clicked, this, [this] { labHomePageClick(); });
    connect(labSupportMail, &TLinkLabel::Clicked, this, [this] { labSupportMailClick(); });

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName("ButtonOK");
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->setContentsMargins(16, 16, 16, 12);
    text->setSpacing(8);
    text->addWidget(labAppName);
    text->addWidget(labRights);
    text->addSpacing(12);
    text->addWidget(labWarning);
    text->addStretch(1);
    text->addWidget(labHomePage, 0, Qt::AlignLeft);
    text->addWidget(labSupportMail, 0, Qt::AlignLeft);
    text->addSpacing(12);
    text->addWidget(ButtonOK, 0, Qt::AlignRight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PanelPicture);
    layout->addLayout(text, 1);
}

// 441 × 344, wider and taller where a larger font needs the room:
// the text column grows with the font, and the height follows its lines.
void TFormAbout::FitSize() {
    const double scale = std::max(1.0, fontMetrics().averageCharWidth() / static_cast<double>(BaseCharWidth));
    const int width = std::max(ClientWidth, static_cast<int>(PictureWidth + (ClientWidth - PictureWidth) * scale));
    const int height = std::max({ClientHeight, layout()->totalHeightForWidth(width), layout()->minimumSize().height()});
    setFixedSize(width, height);
}

void TFormAbout::FormCreate(const TGlobalVars& vars, const std::string& appDir) {
    const TVersionInfo info = ReadVersionFile(ProgramDataFile(appDir, VersionFileName));
    const std::string title = ApplicationTitle();
    setWindowTitle(Text("About " + title));
    labAppName->setText(Text(title + " " + info.Version));
    const std::string design = labRights->text().toLocal8Bit().toStdString();
    labRights->setText(Text(Format(design, QDate::currentDate().year(), info.Company)));
    labHomePage->setText(Text(vars.HomePageAddress));
    labSupportMail->setText(Text(vars.SupportAddress));
}

void TFormAbout::CenterOn(const QWidget* owner) { CenterOnOwner(this, owner); }

void TFormAbout::labHomePageClick() { ShellOpen(labHomePage->text().toLocal8Bit().toStdString(), this); }

void TFormAbout::labSupportMailClick() {
    ShellOpen("mailto:" + labSupportMail->text().toLocal8Bit().toStdString(), this);
}
