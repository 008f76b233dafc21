#pragma once
// Page 1 of the wizard: the list of files to convert, in conversion order.
// Files come from the add-files dialog, the add-folder dialog, the command line
// or are dropped on the main window; each is probed before it is listed, on
// worker threads while the window goes on, and the files the probe cannot open
// are shown together after the add operation.
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "FileDialog.h"
#include "FileListModel.h"
#include "FileRowBuilder.h"

class QAction;
class QLabel;
class QListView;
class QMenu;
class QPushButton;
class TFFDecoder;
class TFileAdder;
class TFormFailedAddFile;
struct TGlobalVars;
struct TProbedRow;

class TPageInputList : public QWidget {
    Q_OBJECT

public:
    // vars: the state record the page keeps its folder, log lines and
    // failures in; it must outlive the page. host: the main window. The list's
    // actions are added to it so that their shortcuts work on every page, and
    // files dropped anywhere on it are added.
    TPageInputList(TGlobalVars& vars, QWidget* host);
    ~TPageInputList() override;

    // Adding is on while a probe is set, which says that the media libraries
    // are loaded; null turns it off, stopping a running add and waiting for its
    // threads. Each add probes with probes of its own. Not owned.
    void SetDecoder(TFFDecoder* decoder);

    // Starts adding `fileNames` (FileNames.h), or queues them behind the add
    // that is running: folders become the supported files below them, sorted
    // by path; other names are probed as they are. A row is appended for every
    // file the probe can open, in order, as soon as it is ready; the others
    // are logged and shown in FormFailedAddFile once the add has ended. Raises
    // Exception without a probe.
    void AddFiles(const QStringList& fileNames);
    // What follows a confirmed add-files dialog: adds the chosen files and
    // remembers their folder for the next dialog.
    void AddSelectedFiles(const QStringList& fileNames);
    // What follows a confirmed add-folder dialog: adds the files below the
    // folder and remembers where it lies.
    void AddSelectedFolder(const QString& folder);
    // Adds the files and folders of a drop that pass DroppedFileNames.
    void AddDroppedFiles(const QStringList& fileNames);
    // Adds the names the program was started with (CommandLine.h).
    void AddCommandLineFiles(const QStringList& fileNames);

    // "Split by chapters" changed: every file with chapters is listed as its
    // chapters (split), or whole again. Files added later follow
    // TGlobalVars::SplitChapters as they come.
    void SplitChapters(bool split);

    // Whether an add is running; "Next" waits for it.
    bool Adding() const;
    // "Stop": ends the running add. The rows appended stay; the failures found
    // so far are shown.
    void StopAdding();

    void ActionAddExecute();
    void ActionAddFolderExecute();
    void ActionDeleteExecute();
    // Also stops a running add: the list stays empty.
    void ActionClearExecute();
    void ActionMoveUpExecute();
    void ActionMoveDownExecute();
    void ActionPlayExecute();
    // Enables the five list actions for the current rows and selection.
    void ActionListUpdate();

    // Gives the keyboard focus to the list (which shows it also while empty).
    void FocusList();

    // The selected row, or -1; selecting -1 clears the selection.
    int SelectedRow() const;
    void SelectRow(int row);
    TFileListModel* Model() const { return model_; }

    QListView* NextGrid = nullptr;
    QLabel* ImageAudioIcon = nullptr;  // hidden; the picture of files without video
    QMenu* PopupMenuList = nullptr;
    TFileDialog* OpenDialog = nullptr;
    TFileDialog* FolderDialog = nullptr;
    // The failure list of the last add operation while it is open.
    QPointer<TFormFailedAddFile> FormFailedAddFile;

    QAction* ActionAdd = nullptr;
    QAction* ActionAddFolder = nullptr;
    QAction* ActionDelete = nullptr;
    QAction* ActionClear = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* ActionPlay = nullptr;
    QPushButton* ButtonAddAFile = nullptr;
    QPushButton* ButtonAddFolder = nullptr;
    QPushButton* ButtonRemoveSelect = nullptr;
    QPushButton* ButtonRemoveAll = nullptr;
    QPushButton* ButtonMoveUp = nullptr;
    QPushButton* ButtonMoveDown = nullptr;
    QPushButton* ButtonPlay = nullptr;
    // Below the list: how many files it holds and how long they last.
    QLabel* LabelFileCount = nullptr;
    // The line below the list while an add runs.
    QWidget* PanelAdding = nullptr;
    QLabel* LabelAdding = nullptr;
    QPushButton* ButtonStopAdding = nullptr;

signals:
    // An add started or ended.
    void AddingChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // PageInputList.cpp
    void CreateActions(QWidget* host);
    void CreateControls();
    void CreateAddingPanel();
    void CreateOpenDialog(QWidget* host);
    void CreateFolderDialog(QWidget* host);
    QPushButton* CreateActionButton(QAction* action, const char* name);
    void ConnectListUpdates();
    void ShowFileCount();
    void NextGridDblClick();
    void NextGridAfterRowMove();
    bool HandleFileDrag(QEvent* event);

    // PageInputListAdd.cpp
    TFileRowLook RowLook() const;
    void AddedFile(TProbedRow& file);
    void AddProgress();
    void AddDone(bool stopped);
    // Stops the running add without a word about its failures.
    void CancelAdding();
    void ShowFailedAddFile();
    void ClearOpenDialogFileName();
    void ShowError(const std::exception& e);

    TGlobalVars& vars_;
    QWidget* host_;
    TFileListModel* model_ = nullptr;
    TFFDecoder* decoder_ = nullptr;
    std::unique_ptr<TFileAdder> adder_;
    // Of the add that is running: how its rows look, what failed so far, and
    // whether its failures are shown when it ends.
    TFileRowLook look_;
    std::vector<std::string> failures_;
    bool reportFailures_ = true;
};
