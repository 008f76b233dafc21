#pragma once
// The main window: a four-page wizard with the instruction line on top and the
// button row at the bottom. Its creation runs the program's
// start-up (settings, log, libraries); closing it saves the settings. It owns
// the application's state record and hands it to the pages and windows.
#include <QEvent>
#include <QMainWindow>
#include <memory>
#include <string>

#include "FFDecode.h"
#include "FFEncoder.h"
#include "FFLog.h"
#include "globals.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class TEndSound;
class TLinkLabel;
class TLogindPowerRequests;
class TPageConverting;
class TPageInputList;
class TPageOutput;
class TPowerRequests;

// Posted to the main window once start-up has succeeded.
constexpr QEvent::Type WM_AFTERSTART = static_cast<QEvent::Type>(QEvent::User + 3);

// The update helper looked for beside the executable; none is shipped.
constexpr const char* UpdateHelperName = "updr";

class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    // exeName: the full path of the executable. The log file is found beside
    // it, the library folder and the data files from its folder (ProgramFiles.h).
    explicit TFormMain(const std::string& exeName, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Instruction line, button captions and states for the current page.
    void UpdatePageCaptions();

    // MainWizard.cpp: moving between the pages.
    void ActionNextExecute();
    void ActionBackExecute();
    void ActionExitExecute();
    // SIGTERM, SIGHUP or SIGINT: nobody may be there to answer a question, so
    // the windows close without one; a running batch stops as after "Cancel"
    // answered with Yes, keeping what its files have written.
    void CloseForSignal();
    // Back to an empty page 1; the caller updates the captions.
    void ResetWizard();
    // Page 4 with the totals of the batch that has just ended.
    void ShowSummary();
    void ShowUnfinishedFiles();
    void LabelOpenFolderClick();

    // MainHelp.cpp: the "Help" and "Log" buttons and the help menu's commands.
    void ActionHelpExecute();
    void ActionLogExecute();
    void ActionHelpContentExecute();
    void ActionHomePageExecute();
    void ActionCheckforUpdatesExecute();
    void ActionContactTechnicalSupportExecute();
    void ActionAboutExecute();
    // The screen point at which the help menu opens: just below "Help".
    QPoint HelpMenuPoint() const;

    const std::string& AppDir() const { return appDir_; }

    // The state record: settings, the in-memory log, the last add's failures
    // and the batch's figures. Main thread only.
    TGlobalVars& Vars() { return vars_; }
    const TGlobalVars& Vars() const { return vars_; }

private:
    // Declared first, so it outlives the members that write to it (the
    // logger's handler, the power requests). The pages, children of the
    // window, go after it: the destructor ends their work first.
    TGlobalVars vars_;

public:
    // The logger comes first: the libraries log through it while they load.
    TFFLogger FFLogger;
    // The engine: it loads the libraries, and its Decoder is the probe of
    // every add operation.
    TFFEncoder FFEncoder;

    QLabel* LabelTitle = nullptr;
    QTabWidget* PageControlMain = nullptr;
    TPageInputList* TabSheetStep1 = nullptr;
    TPageOutput* TabSheetStep2 = nullptr;
    TPageConverting* TabSheetStep3 = nullptr;
    QWidget* TabSheetStep4 = nullptr;
    QLabel* LabelFinishTitle1 = nullptr;
    QLabel* LabelFinishTitle2 = nullptr;
    QLabel* LabelFinishTotalFiles = nullptr;
    QLabel* LabelFinishSuccessed = nullptr;
    QLabel* LabelFinishFailed = nullptr;
    // "Stopped:" and its value; hidden while no file was stopped.
    QLabel* LabelFinishStoppedCaption = nullptr;
    QLabel* LabelFinishStopped = nullptr;
    // "With warnings:" and its value, the converted files whose source could
    // not be read to its end; hidden while there is none.
    QLabel* LabelFinishWarnedCaption = nullptr;
    QLabel* LabelFinishWarned = nullptr;
    TLinkLabel* LabelOpenFolder = nullptr;
    // The stopped and failed files of the batch, with what each stopped one
    // kept; hidden with its heading when every file converted.
    QLabel* LabelFinishUnfinished = nullptr;
    QTreeWidget* ListViewUnfinished = nullptr;

    QAction* ActionHelp = nullptr;
    QAction* ActionLog = nullptr;
    QAction* ActionBack = nullptr;
    QAction* ActionNext = nullptr;
    QAction* ActionExit = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonLog = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonExit = nullptr;

    QMenu* PopupMenuHelp = nullptr;
    QAction* ActionHelpContent = nullptr;
    QAction* ActionHomePage = nullptr;
    QAction* ActionCheckforUpdates = nullptr;
    QAction* ActionContactTechnicalSupport = nullptr;
    QAction* ActionAbout = nullptr;

    // Where the timed shut-down goes: logind, whose refusals reach the log,
    // unless a test puts its fake here. Not owned.
    TPowerRequests* PowerRequests = nullptr;

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // MainLayout.cpp
    void CreateControls();
    void SetTabOrder();
    QWidget* CreateFinishPage();
    QWidget* CreateButtonRow();
    QPushButton* CreateActionButton(QAction* action, QWidget* parent, const char* name);
    // MainHelp.cpp
    void CreateHelpMenu();

    void FormCreate();
    // A close from the window manager goes the way of "Exit": the question of
    // the page first. True when the window may close.
    bool ConfirmClose();
    bool FormCloseQuery();
    void FormClose();
    void WMAfterStart();
    void FFLoggerLog(void* sender, uint32_t threadId, TLogLevel level, const std::string& message);
    void ImageMainMouseMove();

    // MainSettings.cpp
    void ConnectSettingsSaving();
    // Page 2 shows the stored choice (changing nothing meanwhile).
    void ApplyOutputSettings();
    // Saves the settings when a choice differs from what was saved last (or
    // `always`); a failure is logged.
    void SaveChoices(bool always = false);
    // The choices as they were read or written at start-up.
    void RememberSavedChoices();

    // MainWizard.cpp
    void ConvertExecute();
    void WMStartConvert();
    void WMConvertDone();
    // A question with Yes and No; true for Yes.
    bool Ask(const char* question);
    void Inform(const QString& text);

    void ShowException(const std::exception& e);

    bool applyingOutput_ = false;  // page 2 is being set to the stored choice
    std::string savedChoices_;     // the choices as last saved (ChoicesText)
    std::string saveError_;        // why the last save failed, once logged
    bool quitConfirmed_ = false;  // "Exit" was answered with Yes: the close asks nothing more
    bool closeUnasked_ = false;   // a signal closes the window
    bool closed_ = false;         // the window has gone: the end of a batch shows nothing
    bool convertStarting_ = false;  // "Convert" is checking the folder
    std::string batchOutputDir_;  // the folder the last batch wrote to, absolute
    std::string exeName_;
    std::string appDir_;  // the executable's folder, with a trailing separator
    TEndSound* endSound_ = nullptr;  // a child of the window
    std::unique_ptr<TLogindPowerRequests> logindRequests_;
};
