#pragma once
// Page 1 of the wizard: the list of files to convert, in conversion order.
// Files come from the add-files dialog or are dropped on the main window; each
// is probed before it is listed, and the files the probe cannot open are shown
// together after the add operation.
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QWidget>
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
class TFormFailedAddFile;

class TPageInputList : public QWidget {
    Q_OBJECT

public:
    // host: the main window. The list's actions are added to it so that their
    // shortcuts work on every page, and files dropped anywhere on it are added.
    explicit TPageInputList(QWidget* host);
    ~TPageInputList() override;

    // The probe every add operation uses; null turns adding off (the media
    // libraries are not loaded). Not owned.
    void SetDecoder(TFFDecoder* decoder);

    // Probes each name in order and appends a row for every file the probe can
    // open; the others are logged and shown in FormFailedAddFile afterwards.
    // Raises Exception without a probe, and whatever the probe raises.
    void AddFiles(const QStringList& fileNames);
    // What follows a confirmed add-files dialog: adds the chosen files under the
    // busy cursor and remembers their folder for the next dialog.
    void AddSelectedFiles(const QStringList& fileNames);
    // Adds the files of a drop that pass DroppedFileNames.
    void AddDroppedFiles(const QStringList& fileNames);

    void ActionAddExecute();
    void ActionDeleteExecute();
    void ActionClearExecute();
    void ActionMoveUpExecute();
    void ActionMoveDownExecute();
    void ActionPlayExecute();
    // Enables the five list actions for the current rows and selection.
    void ActionListUpdate();

    // The selected row, or -1; selecting -1 clears the selection.
    int SelectedRow() const;
    void SelectRow(int row);
    TFileListModel* Model() const { return model_; }

    QListView* NextGrid = nullptr;
    QLabel* ImageAudioIcon = nullptr;  // hidden; the picture of files without video
    QMenu* PopupMenuList = nullptr;
    TFileDialog* OpenDialog = nullptr;
    // The failure list of the last add operation while it is open.
    QPointer<TFormFailedAddFile> FormFailedAddFile;

    QAction* ActionAdd = nullptr;
    QAction* ActionDelete = nullptr;
    QAction* ActionClear = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* ActionPlay = nullptr;
    QPushButton* ButtonAddAFile = nullptr;
    QPushButton* ButtonRemoveSelect = nullptr;
    QPushButton* ButtonRemoveAll = nullptr;
    QPushButton* ButtonMoveUp = nullptr;
    QPushButton* ButtonMoveDown = nullptr;
    QPushButton* ButtonPlay = nullptr;

    // Every picture made for a row. Rows share them; deleting rows keeps them,
    // and they go with the page.
    std::vector<QPixmap> Thumbnails;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // PageInputList.cpp
    void CreateActions(QWidget* host);
    void CreateControls();
    void CreateOpenDialog(QWidget* host);
    QPushButton* CreateActionButton(QAction* action, const char* name);
    void ConnectListUpdates();
    void NextGridDblClick();
    void NextGridAfterRowMove();
    bool HandleFileDrag(QEvent* event);

    // PageInputListAdd.cpp
    TFileRowLook RowLook() const;
    void ShowFailedAddFile();
    void ClearOpenDialogFileName();
    void ShowError(const std::exception& e);

    QWidget* host_;
    TFileListModel* model_ = nullptr;
    TFFDecoder* decoder_ = nullptr;
};
