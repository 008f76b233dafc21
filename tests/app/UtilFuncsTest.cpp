// The toolkit-free helpers of the application: folders, the settings file,
// window placement arithmetic, the log file and the duration text.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <tuple>

#include "Exception.h"
#include "IniFile.h"
#include "LogLines.h"
#include "UtilFuncs.h"
#include "WindowPlacement.h"
#include "globals.h"

namespace {

std::string Str(const QString& s) { return s.toStdString(); }

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const std::string& path, const QByteArray& data) {
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// The thirteen keys of the first release.
const QByteArray OldSystemSection =
    "[System]\n"
    "LastOpenDir=/docs\n"
    "OutputFileDir=/docs\n"
    "OutputFormat=1\n"
    "OutputWAVPreset=0\n"
    "OutputMP3Preset=0\n"
    "OutputWMAPreset=0\n"
    "OutputOGGPreset=0\n"
    "OutputM4APreset=0\n"
    "OutputAACPreset=0\n"
    "OutputFLACPreset=0\n"
    "OutputMP2Preset=0\n"
    "PlayASoundWhenFinished=0\n"
    "ShutDownWhenFinished=0\n";

// Later keys follow the thirteen, the presets of the formats added later last.
const QByteArray DefaultSystemSection = OldSystemSection + "ParallelTasks=" +
                                        QByteArray::number(DefaultParallelTasks()) +
                                        "\nKeepFolderStructure=0\nOutputOpusPreset=2\nOutputALACPreset=0\nLoudness=0\n"
                                        "SplitChapters=0\n";

} // namespace

class UtilFuncsTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    // A record as start-up leaves it, its settings file in `appDataDir`.
    static TGlobalVars FreshVars(const std::string& appDataDir) {
        TGlobalVars vars;
        vars.AppDataDir = appDataDir;
        vars.LastOpenDir = "/docs";
        vars.OutputFileDir = "/docs";
        return vars;
    }

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        qputenv("HOME", home_.path().toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void init() {
        qputenv("HOME", home_.path().toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void formatDurationSplitsHoursMinutesSecondsMilliseconds() {
        QCOMPARE(FormatDuration(3723004000LL), std::string("01:02:03.004"));
        QCOMPARE(FormatDuration(0), std::string("00:00:00.000"));
        QCOMPARE(FormatDuration(100LL * 3600 * 1000000), std::string("100:00:00.000"));
        QCOMPARE(FormatDuration(999), std::string("00:00:00.000"));        // below one millisecond
        QCOMPARE(FormatDuration(59999999), std::string("00:00:59.999"));   // milliseconds truncate
        QCOMPARE(FormatDuration(3600LL * 1000000 - 1), std::string("00:59:59.999"));
    }

    void changeFileExtReplacesOnlyTheNamesExtension() {
        QCOMPARE(ChangeFileExt("/opt/t/tembrio", ".log"), std::string("/opt/t/tembrio.log"));
        QCOMPARE(ChangeFileExt("/opt/t.d/tembrio", ".log"), std::string("/opt/t.d/tembrio.log"));
        QCOMPARE(ChangeFileExt("/opt/t/tembrio.bin", ".log"), std::string("/opt/t/tembrio.log"));
        QCOMPARE(LogFileName("/opt/t/tembrio"), std::string("/opt/t/tembrio.log"));
    }

    void shellFoldersFollowXdgAndFallBackToHome() {
        const std::string home = Str(home_.path());
        QCOMPARE(GetShellFolder("AppData"), home + "/.config");
        qputenv("XDG_CONFIG_HOME", "relative/dir");  // ignored, as XDG says
        QCOMPARE(GetShellFolder("AppData"), home + "/.config");
        qputenv("XDG_CONFIG_HOME", "/srv/conf");
        QCOMPARE(GetShellFolder("AppData"), std::string("/srv/conf"));
        qunsetenv("XDG_CONFIG_HOME");

        // No documents folder at all: the home folder.
        QCOMPARE(GetShellFolder("Personal"), home);
        QCOMPARE(GetShellFolder("Cookies"), home);
        QVERIFY(QDir(home_.path()).mkpath("Documents"));
        QCOMPARE(GetShellFolder("Personal"), home + "/Documents");
        // The user's XDG folder list wins.
        QVERIFY(QDir(home_.path()).mkpath(".config"));
        WriteAll(home + "/.config/user-dirs.dirs", "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        QCOMPARE(GetShellFolder("Personal"), home + "/Dokumente");
        WriteAll(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");  // switched off
        QCOMPARE(GetShellFolder("Personal"), home + "/Documents");
        QFile::remove(home_.filePath(".config/user-dirs.dirs"));
        QDir(home_.filePath("Documents")).removeRecursively();
    }

    void appDataDirIsCreatedWithItsParents() {
        QTemporaryDir tmp;
        const std::string config = Str(tmp.path()) + "/fresh/.config";
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
        QCOMPARE(DetermineAppDataDir(ApplicationTitleText), config + "/Tembrio Audio Converter/");
        QVERIFY(QFileInfo(QString::fromStdString(config + "/Tembrio Audio Converter")).isDir());
    }

    void appDataDirFallsBackToTheConfigFolder() {
        QTemporaryDir tmp;
        const std::string blocker = Str(tmp.path()) + "/not-a-folder";
        WriteAll(blocker, "x");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(blocker));
        QCOMPARE(DetermineAppDataDir(ApplicationTitleText), blocker + "/");
    }

    void parseIniIntegerAcceptsDecimalAndHexOnly() {
        int32_t v = -1;
        QVERIFY(ParseIniInteger("0x10", v) && v == 16);
        QVERIFY(ParseIniInteger("0X1f", v) && v == 31);
        QVERIFY(ParseIniInteger("-12", v) && v == -12);
        QVERIFY(ParseIniInteger("+7", v) && v == 7);
        QVERIFY(ParseIniInteger("010", v) && v == 10);  // not octal
        QVERIFY(ParseIniInteger("2147483647", v) && v == INT32_MAX);
        QVERIFY(ParseIniInteger("-2147483648", v) && v == INT32_MIN);
        v = 42;
        for (const char* bad : {"", "abc", "0x", "12a", "1.5", "-", "2147483648", "0x100000000", "99999999999999999999"})
            QVERIFY2(!ParseIniInteger(bad, v) && v == 42, bad);
    }

    void firstStartWritesTheSystemSectionOnly() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        QVERIFY(!LoadSettings(vars));
        QCOMPARE(ReadAll(SettingsFilePath(vars)), DefaultSystemSection);
        QVERIFY(LoadSettings(vars));
        QVERIFY(!QFile::exists(QString::fromStdString(SettingsFilePath(vars) + ".tmp")));
    }

    void loadSettingsReadsValuesAndKeepsDefaultsForBadOnes() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        vars.Presets[ofOGG] = 3;
        WriteAll(SettingsFilePath(vars),
                 "[system]\n"
                 "lastopendir=/music/in\n"
                 "OutputFormat=12\n"
                 "OutputMP3Preset=0x10\n"
                 "OutputWMAPreset=abc\n"
                 "OutputM4APreset=5\n"
                 "OutputAACPreset=4\n"
                 "OutputMP2Preset=-2\n"
                 "PlayASoundWhenFinished=0x1\n"
                 "ShutDownWhenFinished=yes\n");
        QVERIFY(LoadSettings(vars));
        QCOMPARE(vars.LastOpenDir, std::string("/music/in"));
        QCOMPARE(vars.OutputFileDir, std::string("/docs"));  // missing: default
        QCOMPARE(int(vars.OutputFormat), 12);                // kept as read
        QCOMPARE(vars.Presets[ofMP3], 16);
        QCOMPARE(vars.Presets[ofWMA], 0);                    // invalid: default
        QCOMPARE(vars.Presets[ofOGG], 3);                    // missing: current value
        QCOMPARE(vars.Presets[ofM4A], 5);
        QCOMPARE(vars.Presets[ofAAC], 4);
        QCOMPARE(vars.Presets[ofMP2], -2);
        QVERIFY(vars.PlayASoundWhenFinished);
        QVERIFY(!vars.ShutDownWhenFinished);
    }

    void outputFormatThatDoesNotFitAByteReadsAsDefault() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        WriteAll(SettingsFilePath(vars), "[System]\nOutputFormat=300\n");
        QVERIFY(LoadSettings(vars));
        QCOMPARE(int(vars.OutputFormat), int(ofMP3));
        WriteAll(SettingsFilePath(vars), "[System]\nOutputFormat=abc\n");
        vars.OutputFormat = ofFLAC;
        QVERIFY(LoadSettings(vars));
        QCOMPARE(int(vars.OutputFormat), int(ofFLAC));
    }

    void saveSettingsKeepsOtherSectionsAndOrder() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        WriteAll(SettingsFilePath(vars), "[System]\nOutputFormat=2\n\n[Form]\nx=10\ny=20\n");
        vars.OutputFormat = ofFLAC;
        vars.Presets[ofFLAC] = 2;
        vars.ShutDownWhenFinished = true;
        vars.LastOpenDir = "/Müsik/a=b";
        SaveSettings(vars);
        // Blank lines between sections are the INI writer's layout, not ours.
        QCOMPARE(ReadAll(SettingsFilePath(vars)).replace("\n\n", "\n").replace("\n\n", "\n"),
                 QByteArray("[System]\n"
                            "OutputFormat=6\n"
                            "LastOpenDir=/Müsik/a=b\n"
                            "OutputFileDir=/docs\n"
                            "OutputWAVPreset=0\nOutputMP3Preset=0\nOutputWMAPreset=0\nOutputOGGPreset=0\n"
                            "OutputM4APreset=0\nOutputAACPreset=0\nOutputFLACPreset=2\nOutputMP2Preset=0\n"
                            "PlayASoundWhenFinished=0\nShutDownWhenFinished=1\n"
                            "ParallelTasks=" + QByteArray::number(DefaultParallelTasks()) + "\n"
                            "KeepFolderStructure=0\n"
                            "OutputOpusPreset=2\nOutputALACPreset=0\n"
                            "Loudness=0\n"
                            "SplitChapters=0\n"
                            "[Form]\nx=10\ny=20\n"));
        vars = FreshVars(vars.AppDataDir);
        QVERIFY(LoadSettings(vars));
        QCOMPARE(vars.LastOpenDir, std::string("/Müsik/a=b"));
        QCOMPARE(vars.Presets[ofFLAC], 2);
        QVERIFY(vars.ShutDownWhenFinished);
    }

    // The keys added after the first release: written after the thirteen and
    // read back; a file without them, or with a count the page cannot show,
    // gives the defaults.
    void filesAtOnceAndFolderStructureFollowTheThirteen() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        vars.ParallelTasks = 3;
        vars.KeepFolderStructure = true;
        SaveSettings(vars);
        QVERIFY(ReadAll(SettingsFilePath(vars))
                    .contains("ShutDownWhenFinished=0\nParallelTasks=3\nKeepFolderStructure=1\n"));
        vars = FreshVars(vars.AppDataDir);
        QVERIFY(LoadSettings(vars));
        QCOMPARE(vars.ParallelTasks, 3);
        QVERIFY(vars.KeepFolderStructure);

        for (const QByteArray& stored : {QByteArray(), QByteArray("ParallelTasks=0\n"),
                                         QByteArray("ParallelTasks=17\n"), QByteArray("ParallelTasks=many\n")}) {
            vars = FreshVars(vars.AppDataDir);
            WriteAll(SettingsFilePath(vars), OldSystemSection + stored);
            QVERIFY(LoadSettings(vars));
            QCOMPARE(vars.ParallelTasks, DefaultParallelTasks());
            QVERIFY(!vars.KeepFolderStructure);
        }
        QVERIFY(DefaultParallelTasks() >= MinParallelTasks && DefaultParallelTasks() <= MaxParallelTasks);
    }

    // Opus and ALAC came after every other key: a file of an older version
    // still chooses the format and presets it stored, and gives the two
    // their defaults; the two are stored after everything older, so an
    // older version reads a newer file as it reads its own.
    void formatsAddedLaterKeepEveryStoredChoice() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        for (const auto& [format, key, preset] : {std::tuple{ofFLAC, "OutputFLACPreset", 8},
                                                  std::tuple{ofMP2, "OutputMP2Preset", 3},
                                                  std::tuple{ofM4A, "OutputM4APreset", 1}}) {
            QByteArray old = OldSystemSection + "ParallelTasks=2\nKeepFolderStructure=1\n";
            old.replace("OutputFormat=1\n", "OutputFormat=" + QByteArray::number(int(format)) + "\n");
            old.replace(QByteArray(key) + "=0\n", QByteArray(key) + "=" + QByteArray::number(preset) + "\n");
            WriteAll(SettingsFilePath(vars), old);
            vars = FreshVars(vars.AppDataDir);
            QVERIFY(LoadSettings(vars));
            QCOMPARE(int(vars.OutputFormat), int(format));
            QCOMPARE(vars.Presets[format], preset);
            QCOMPARE(vars.Presets[ofOpus], 2);
            QCOMPARE(vars.Presets[ofALAC], 0);
            QVERIFY(vars.KeepFolderStructure);
        }

        vars.OutputFormat = ofALAC;
        vars.Presets[ofOpus] = 4;
        vars.Presets[ofALAC] = 1;
        SaveSettings(vars);
        QVERIFY(ReadAll(SettingsFilePath(vars))
                    .endsWith("KeepFolderStructure=1\nOutputOpusPreset=4\nOutputALACPreset=1\nLoudness=0\nSplitChapters=0\n"));
        vars = FreshVars(vars.AppDataDir);
        QVERIFY(LoadSettings(vars));
        QCOMPARE(int(vars.OutputFormat), int(ofALAC));
        QCOMPARE(vars.Presets[ofOpus], 4);
        QCOMPARE(vars.Presets[ofALAC], 1);
        QCOMPARE(vars.Presets[ofM4A], 1);
    }

    // The loudness choice came after every other key, and "Split by
    // chapters" after it. They read back as stored; a file without the
    // loudness, or with an index its list does not have, keeps the loudness
    // as it is.
    void loudnessAndSplitChaptersFollowEveryOtherKey() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        vars.Loudness = lcNormalise16;
        vars.SplitChapters = true;
        SaveSettings(vars);
        QVERIFY(ReadAll(SettingsFilePath(vars)).endsWith("OutputALACPreset=0\nLoudness=4\nSplitChapters=1\n"));
        vars = FreshVars(vars.AppDataDir);
        QVERIFY(LoadSettings(vars));
        QCOMPARE(vars.Loudness, int32_t(lcNormalise16));
        QVERIFY(vars.SplitChapters);

        for (const QByteArray& stored : {QByteArray(), QByteArray("Loudness=10\n"), QByteArray("Loudness=-1\n"),
                                         QByteArray("Loudness=loud\n")}) {
            vars = FreshVars(vars.AppDataDir);
            WriteAll(SettingsFilePath(vars),
                     DefaultSystemSection.chopped(QByteArray("Loudness=0\nSplitChapters=0\n").size()) + stored);
            QVERIFY(LoadSettings(vars));
            QVERIFY2(vars.Loudness == lcKeep, stored.constData());
        }
    }

    void saveSettingsReportsAnUnwritableFolder() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/missing/");
        try {
            SaveSettings(vars);
            QFAIL("no exception");
        } catch (const Exception& e) {
            QCOMPARE(e.Message(), "Unable to write to " + SettingsFilePath(vars) + ". No such file or directory");
        }
    }

    // A settings file kept elsewhere behind a link (dotfiles in a repository)
    // stays a link, and a private file stays private.
    void savingWritesThroughALinkAndKeepsThePermissions() {
        QTemporaryDir tmp;
        const std::string dir = Str(tmp.path()) + "/";
        QVERIFY(QDir(tmp.path()).mkdir("dotfiles"));
        WriteAll(dir + "dotfiles/settings.dat", "[Other]\nkept=1\n");
        QVERIFY(QFile::setPermissions(tmp.path() + "/dotfiles/settings.dat", QFile::ReadOwner | QFile::WriteOwner));
        TGlobalVars vars = FreshVars(dir);
        QVERIFY(QFile::link("dotfiles/settings.dat", QString::fromStdString(SettingsFilePath(vars))));
        vars.OutputFormat = ofOGG;
        SaveSettings(vars);
        QVERIFY(QFileInfo(QString::fromStdString(SettingsFilePath(vars))).isSymLink());
        const QByteArray written = ReadAll(dir + "dotfiles/settings.dat");
        QVERIFY(written.contains("[Other]\nkept=1\n"));
        QVERIFY(written.contains("OutputFormat=3\n"));
        QCOMPARE(QFile::permissions(tmp.path() + "/dotfiles/settings.dat"),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    void aReadOnlySettingsFileIsLeftAloneAndLoggedOnce() {
        QTemporaryDir tmp;
        TGlobalVars vars = FreshVars(Str(tmp.path()) + "/");
        WriteAll(SettingsFilePath(vars), DefaultSystemSection);
        const QString file = QString::fromStdString(SettingsFilePath(vars));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        vars.OutputFormat = ofOGG;
        SaveSettings(vars);
        SaveSettings(vars);
        QCOMPARE(ReadAll(SettingsFilePath(vars)), DefaultSystemSection);
        QCOMPARE(vars.LogLines,
                 std::vector<std::string>{"Settings not saved: " + SettingsFilePath(vars) + " is read-only."});
    }

    void placementIsKeptOnTheScreen() {
        auto fit = [](int x, int y, int w, int h) { return FitToScreen({x, y, w, h, false}, {0, 0, 800, 600}); };
        TWindowPlacement p = fit(100, 50, 2000, 500);
        QCOMPARE(p.Width, 800);
        QCOMPARE(p.Left, 0);
        p = fit(-50, -7, 300, 200);
        QCOMPARE(p.Left, 0);
        QCOMPARE(p.Top, 0);
        p = fit(700, 500, 300, 200);  // hangs over the right and bottom edges
        QCOMPARE(p.Left, 500);
        QCOMPARE(p.Top, 400);
        p = fit(10, 10, 300, 900);
        QCOMPARE(p.Height, 600);
        QCOMPARE(p.Top, 0);
        QCOMPARE(p.Width, 300);

        // A second screen right of the first, with a panel along its top: a
        // window mostly on it stays there, below the panel; a window on a
        // screen that is gone comes back to the first.
        const std::vector<TScreenArea> areas = {{0, 0, 800, 600}, {800, 30, 1000, 570}};
        const TWindowPlacement onSecond{700, 10, 400, 300, false};
        p = FitToScreen(onSecond, AreaShowing(onSecond, areas));
        QCOMPARE(QPoint(p.Left, p.Top), QPoint(800, 30));
        const TWindowPlacement onGone{2500, 100, 400, 300, false};
        p = FitToScreen(onGone, AreaShowing(onGone, areas));
        QCOMPARE(QPoint(p.Left, p.Top), QPoint(400, 100));
    }

    void placementKeysAreWrittenInOrderAndReadWithDefaults() {
        QTemporaryDir tmp;
        const std::string path = Str(tmp.path()) + "/p.ini";
        {
            TIniFile ini(path);
            WriteWindowPlacement(ini, "Log", {1, 2, 3, 4, true});
            ini.UpdateFile();
        }
        QCOMPARE(ReadAll(path), QByteArray("[Log]\nx=1\ny=2\nheight=4\nwidth=3\nmaximized=1\n"));
        WriteAll(path, "[Log]\nwidth=bad\ny=9\n");
        TIniFile ini(path);
        const TWindowPlacement p = ReadWindowPlacement(ini, "LOG", {5, 6, 7, 8, true});
        QCOMPARE(p.Left, 5);
        QCOMPARE(p.Top, 9);
        QCOMPARE(p.Width, 7);
        QCOMPARE(p.Height, 8);
        QVERIFY(!p.Maximized);
    }

    void placementPathDefaultsToTheSettingsFile() {
        TGlobalVars vars;
        vars.AppDataDir = "/cfg/";
        QCOMPARE(PlacementFilePath("", vars), std::string("/cfg/system20120110.dat"));
        QCOMPARE(PlacementFilePath("  ", vars), std::string("/cfg/system20120110.dat"));
        QCOMPARE(PlacementFilePath("/x.ini", vars), std::string("/x.ini"));
    }

    void logLinesAreReadWithEitherLineEnd() {
        QTemporaryDir tmp;
        const std::string path = Str(tmp.path()) + "/t.log";
        WriteAll(path, "#1.5: one\r\n#2.3: two\n\nlast");
        std::vector<std::string> lines{"old"};
        QVERIFY(LoadLinesFromFile(path, lines));
        QCOMPARE(lines, (std::vector<std::string>{"#1.5: one", "#2.3: two", "", "last"}));
        QVERIFY(!LoadLinesFromFile(path + ".missing", lines));
        QCOMPARE(lines.size(), size_t(4));
        QVERIFY(!LoadLinesFromFile(Str(tmp.path()), lines));  // a folder cannot be read
    }

    void logLineCarriesThreadAndLevel() {
        QCOMPARE(FormatLogLine(100, llWarning, "hello"), std::string("#100.4: hello"));
        QCOMPARE(FormatLogLine(4294967295u, llQuiet, "x %d"), std::string("#4294967295.0: x %d"));
    }
};

QTEST_APPLESS_MAIN(UtilFuncsTest)
#include "UtilFuncsTest.moc"
