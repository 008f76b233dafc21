// Page 3's controls and its rest state.
#include "PageConverting.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "BatchRun.h"
#include "ElidedLabel.h"
#include "PageConvertingEvents.h"
#include "TimeSpan.h"
#include "globals.h"

namespace {

const char* const RestText = "...";

// A time of the status group: room for "23:59:59" in any font.
QLabel* CreateTimeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(QString::fromUtf8(RestText), parent);
    label->setObjectName(name);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 2);
    return label;
}

// The columns' usual widths, and the longest text each of the narrow ones
// shows; a larger font widens a column to fit that text.
constexpr int BaseWidths[] = {250, 80, 95, 70, 300};
const char* const WidestTexts[] = {"", "00:00:00.000", "Finish (warning)", "100%", ""};

} // namespace

TPageConverting::TPageConverting(TGlobalVars& vars, QWidget* host) : Clock(LocalTimeDays), vars_(vars), host_(host) {
    setObjectName("TabSheetStep3");
    CreateControls();
    refreshTimer_ = new QTimer(this);
    connect(refreshTimer_, &QTimer::timeout, this, [this] { Tick(); });
    eventsTimer_ = new QTimer(this);
    eventsTimer_->setSingleShot(true);
    connect(eventsTimer_, &QTimer::timeout, this, [this] { TakeEvents(); });
}

TPageConverting::~TPageConverting() { EndRun(); }

void TPageConverting::CreateControls() {
    ListViewConverting = new QTreeWidget(this);
    ListViewConverting->setObjectName("ListViewConverting");
    ListViewConverting->setRootIsDecorated(false);
    ListViewConverting->setItemsExpandable(false);
    ListViewConverting->setUniformRowHeights(true);
    ListViewConverting->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewConverting->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewConverting->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewConverting->setHeaderLabels({"Name", "Duration", "Status", "Progress", "Path"});
    ListViewConverting->setAccessibleName(QStringLiteral("Files being converted"));
    ListViewConverting->header()->setStretchLastSection(false);
    ListViewConverting->header()->setSectionsMovable(false);
    ListViewConverting->viewport()->installEventFilter(this);
    FitColumns();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(ListViewConverting, 1);
    layout->addWidget(CreateStatusGroup());
    layout->addWidget(CreatePostOptionsGroup());
}

QGroupBox* TPageConverting::CreateStatusGroup() {
    auto* group = new QGroupBox(QStringLiteral("Status"), this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(12);
    // A long path is shortened in the middle; its tooltip has it whole.
    LabelCurrentFile = new TElidedLabel(QString::fromUtf8(RestText), group);
    LabelCurrentFile->setObjectName("LabelCurrentFile");
    LabelEstimated = CreateTimeLabel(group, "LabelEstimated");
    LabelElapsed = CreateTimeLabel(group, "LabelElapsed");
    LabelTimeLeft = CreateTimeLabel(group, "LabelTimeLeft");
    ProgressBar = new QProgressBar(group);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);  // LabelProgress shows the figure
    LabelProgress = new QLabel(QStringLiteral("0%"), group);
    LabelProgress->setObjectName("LabelProgress");
    LabelProgress->setMinimumWidth(LabelProgress->fontMetrics().horizontalAdvance(QStringLiteral("100%")));

    auto title = [group](const char* text) { return new QLabel(QString::fromUtf8(text), group); };
    grid->addWidget(title("Current file:"), 0, 0);
    grid->addWidget(LabelCurrentFile, 0, 1, 1, 5);
    grid->addWidget(title("Estimated overall time:"), 1, 0);
    grid->addWidget(LabelEstimated, 1, 1);
    grid->addWidget(title("Elapsed time:"), 1, 2);
    grid->addWidget(LabelElapsed, 1, 3);
    grid->addWidget(title("Time left:"), 1, 4);
    grid->addWidget(LabelTimeLeft, 1, 5);
    QLabel* progressTitle = title("Overall Progress:");
    progressTitle->setBuddy(ProgressBar);
    grid->addWidget(progressTitle, 2, 0);
    grid->addWidget(ProgressBar, 2, 1, 1, 4);
    grid->addWidget(LabelProgress, 2, 5);
    for (int column : {1, 3, 5}) grid->setColumnStretch(column, 1);
    return group;
}

// A click stores the choice at once, so the end of the batch follows what the
// user chose last, even while the run goes on.
QGroupBox* TPageConverting::CreatePostOptionsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Post-Progress Options"), this);
    auto* layout = new QVBoxLayout(group);
    CheckBoxPlayASound = new QCheckBox(QStringLiteral("&Play a sound when conversion is finished"), group);
    CheckBoxPlayASound->setObjectName("CheckBoxPlayASound");
    CheckBoxShutdown = new QCheckBox(QStringLiteral("&Shut down the computer after all tasks are finished"), group);
    CheckBoxShutdown->setObjectName("CheckBoxShutdown");
    layout->addWidget(CheckBoxPlayASound);
    layout->addWidget(CheckBoxShutdown);
    connect(CheckBoxPlayASound, &QCheckBox::toggled, this,
            [this](bool checked) { vars_.PlayASoundWhenFinished = checked; });
    connect(CheckBoxShutdown, &QCheckBox::toggled, this,
            [this](bool checked) { vars_.ShutDownWhenFinished = checked; });
    return group;
}

// The narrow columns fit their longest texts (at least their usual widths);
// the name and path columns share what the list has beyond that.
void TPageConverting::FitColumns() {
    QHeaderView* header = ListViewConverting->header();
    const QFontMetrics metrics = ListViewConverting->fontMetrics();
    const int padding = 2 * ListViewConverting->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    int widths[5];
    int fixed = 0;
    for (int column = 0; column < 5; ++column) {
        const int text = metrics.horizontalAdvance(QString::fromUtf8(WidestTexts[column])) + padding;
        widths[column] = std::max({BaseWidths[column], text, header->sectionSizeHint(column)});
        if (column != ccName && column != ccPath) fixed += widths[column];
    }
    const int spare = ListViewConverting->viewport()->width() - fixed - widths[ccName] - widths[ccPath];
    if (spare > 0) {
        const int toName = spare * widths[ccName] / (widths[ccName] + widths[ccPath]);
        widths[ccName] += toName;
        widths[ccPath] += spare - toName;
    }
    for (int column = 0; column < 5; ++column) ListViewConverting->setColumnWidth(column, widths[column]);
}

bool TPageConverting::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListViewConverting->viewport() && event->type() == QEvent::Resize) FitColumns();
    return QWidget::eventFilter(watched, event);
}

void TPageConverting::LoadPostOptions() {
    CheckBoxPlayASound->setChecked(vars_.PlayASoundWhenFinished);
    CheckBoxShutdown->setChecked(vars_.ShutDownWhenFinished);
    vars_.PlayASoundWhenFinished = CheckBoxPlayASound->isChecked();
    vars_.ShutDownWhenFinished = CheckBoxShutdown->isChecked();
}

void TPageConverting::ResetPage() {
    ClearEntries();
    starting_ = false;
    stopping_ = false;
    deferredStart_ = nullptr;
    ShowRestTexts();
    LabelEstimated->setText(QString::fromUtf8(RestText));
    LabelElapsed->setText(QString::fromUtf8(RestText));
    LabelTimeLeft->setText(QString::fromUtf8(RestText));
}

// What the status group shows between tasks and after the batch.
void TPageConverting::ShowRestTexts() {
    LabelCurrentFile->setText(QString::fromUtf8(RestText));
    ProgressBar->setValue(0);
    LabelProgress->setText(QStringLiteral("0%"));
}

void TPageConverting::ClearEntries() {
    ListViewConverting->clear();
    entries_.clear();
    running_.clear();
    DropStatusRefresh();
    queueFailures_.clear();
    queueFailureCame_ = false;
    finishPending_ = false;
}

int TPageConverting::EntryCount() const { return ListViewConverting->topLevelItemCount(); }
