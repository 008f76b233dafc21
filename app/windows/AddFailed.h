#pragma once
// "Failed to Add Files": lists the probe's error texts of the files that one
// add operation could not list, with a way to the help pages.
#include <QDialog>
#include <string>
#include <vector>

class QPushButton;
class QTreeWidget;

class TFormFailedAddFile : public QDialog {
    Q_OBJECT

public:
    // helpAddress: where "More Information" leads.
    TFormFailedAddFile(const std::vector<std::string>& failedFiles, const std::string& helpAddress,
                       QWidget* parent = nullptr);

    QTreeWidget* ListViewFiles = nullptr;
    QPushButton* ButtonMoreInfo = nullptr;
    QPushButton* ButtonClose = nullptr;

private:
    void ButtonMoreInfoClick();

    std::string helpAddress_;
};
