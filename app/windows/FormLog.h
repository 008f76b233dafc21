#pragma once
// The log window: the in-memory log as it was when the window opened, with
// commands to save it to a file of the user's choice or to clear it.
#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QWidget;

class TFormLog : public QDialog {
    Q_OBJECT

public:
    // logLines: the in-memory log that "Save Log..." writes and "Delete Log"
    // empties; it must outlive the window.
    explicit TFormLog(std::vector<std::string>& logLines, QWidget* parent = nullptr);

    // Moves the window to the middle of `owner`'s frame.
    void CenterOn(const QWidget* owner);
    // Shows these lines, scrolled to the last one; later changes of the log
    // are not followed.
    void ShowLines(const std::vector<std::string>& lines);

    // Keeps the three buttons centred as a group with 8-pixel gaps.
    void PanelBottomResize();
    // Asks, and on Yes empties the log and the window.
    void ButtonDeleteClick();
    // Runs the save dialog and saves to the chosen file.
    void ButtonSaveClick();
    // Writes the log to `fileName`; a failure is shown and changes nothing.
    // True when the file was written.
    bool SaveLog(const QString& fileName);

    QPlainTextEdit* MemoLog = nullptr;
    QWidget* PanelBottom = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonSave = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowNewestLine();

    std::vector<std::string>& logLines_;
};

// Writes the lines to the file, each followed by CR LF, replacing the file.
// Raises Exception with the system's reason when the file cannot be written.
void SaveLinesToFile(const std::vector<std::string>& lines, const std::string& fileName);
