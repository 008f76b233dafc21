#pragma once
// The About window: the program's name and version, the rights notice, a
// short warning, and links to the home page and to technical support.
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class TLinkLabel;
struct TGlobalVars;

// The version file beside the executable or in the installed data folder
// (ProgramDataFile): an INI text despite its name.
constexpr const char* VersionFileName = "lame.dll";

struct TVersionInfo {
    std::string Version;
    std::string Company;
};

// "Version" and "Company" of section "SYSTEM"; a missing file or key reads as
// an empty text.
TVersionInfo ReadVersionFile(const std::string& fileName);

class TFormAbout : public QDialog {
    Q_OBJECT

public:
    // vars: the home page and support addresses. appDir: the application
    // folder, with a trailing separator; the version file is looked up from it.
    TFormAbout(const TGlobalVars& vars, const std::string& appDir, QWidget* parent = nullptr);

    // Moves the window to the middle of `owner`'s frame.
    void CenterOn(const QWidget* owner);

    void labHomePageClick();
    void labSupportMailClick();

    QWidget* PanelPicture = nullptr;
    QLabel* labAppName = nullptr;
    QLabel* labRights = nullptr;
    QLabel* labWarning = nullptr;
    TLinkLabel* labHomePage = nullptr;
    TLinkLabel* labSupportMail = nullptr;
    QPushButton* ButtonOK = nullptr;

private:
    void CreateControls();
    void FitSize();
    void FormCreate(const TGlobalVars& vars, const std::string& appDir);
};
