#include "AddFailed.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "FileNames.h"
#include "HelpManual.h"
#include "UtilFuncsGui.h"

namespace {

constexpr int FileColumnWidth = 380;

const char* const Explanation =
    "Failed to add the following files. The converter might not support the file type or might not support the "
    "codec that was used to compress the file. Click \"More Information\" to view a list of supported file types "
    "and releavant codecs.";

} // namespace

TFormFailedAddFile::TFormFailedAddFile(const std::vector<std::string>& failedFiles, const std::string& helpAddress,
                                       QWidget* parent)
    : QDialog(parent), helpAddress_(helpAddress) {
    setObjectName("FormFailedAddFile");
    setWindowTitle(QStringLiteral("Failed to Add Files"));

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(QString::fromUtf8(Explanation), this);
    text->setObjectName("LabelExplanation");
    text->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(text, 1);

    ListViewFiles = new QTreeWidget(this);
    ListViewFiles->setObjectName("ListViewFiles");
    ListViewFiles->setColumnCount(1);
    ListViewFiles->setHeaderLabels({QStringLiteral("File")});
    ListViewFiles->setAccessibleName(windowTitle());
    ListViewFiles->setRootIsDecorated(false);
    ListViewFiles->header()->setStretchLastSection(false);
    ListViewFiles->setColumnWidth(0, FileColumnWidth);
    for (const std::string& failed : failedFiles) {
        const QString text = DisplayText(failed);
        auto* item = new QTreeWidgetItem(ListViewFiles, {text});
        item->setToolTip(0, text);  // long paths do not fit the column
    }

    ButtonMoreInfo = new QPushButton(QStringLiteral("More Information..."), this);
    ButtonMoreInfo->setAutoDefault(false);
    ButtonClose = new QPushButton(QStringLiteral("Close"), this);
    ButtonClose->setDefault(true);
    connect(ButtonMoreInfo, &QPushButton::clicked, this, [this] { ButtonMoreInfoClick(); });
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonMoreInfo);
    buttons->addWidget(ButtonClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ListViewFiles);
    layout->addLayout(buttons);
    // Fixed size: the list is made wide enough for its column and the text wraps to it.
    ListViewFiles->setFixedSize(FileColumnWidth + 2 * ListViewFiles->frameWidth() + 4, 160);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ButtonClose->setFocus();
}

// The dialog stays open; the help pages open beside it.
void TFormFailedAddFile::ButtonMoreInfoClick() { OpenHelp(helpAddress_, this); }
