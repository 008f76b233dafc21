// The pieces of page 1's list that need no media: row order, path shortening,
// value texts and the choice of dropped files.
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "FileDrop.h"
#include "FileListModel.h"
#include "FileRowBuilder.h"
#include "MinimizeName.h"
#include "SourceFiles.h"
#include "UtilFuncs.h"

namespace {

TFileListModel* ModelOf(const QStringList& names, QObject* parent) {
    auto* model = new TFileListModel(parent);
    for (const QString& name : names) {
        TFileRow row;
        row.Cells[NxTextColumnFileFullName] = name;
        model->AppendRow(row);
    }
    return model;
}

QStringList Order(const TFileListModel& model) {
    QStringList names;
    for (int i = 0; i < model.rowCount(); ++i) names << model.FileFullName(i);
    return names;
}

} // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void rowsMoveToTheirNewPlace() {
        QObject owner;
        TFileListModel* model = ModelOf({"a", "b", "c", "d"}, &owner);
        QSignalSpy moved(model, &QAbstractItemModel::rowsMoved);

        QVERIFY(model->moveRow(QModelIndex(), 0, QModelIndex(), 4));  // first to the end
        QCOMPARE(Order(*model), QStringList({"b", "c", "d", "a"}));
        QVERIFY(model->moveRow(QModelIndex(), 3, QModelIndex(), 0));  // last to the front
        QCOMPARE(Order(*model), QStringList({"a", "b", "c", "d"}));
        QVERIFY(model->moveRows(QModelIndex(), 1, 2, QModelIndex(), 4));  // a block down
        QCOMPARE(Order(*model), QStringList({"a", "d", "b", "c"}));
        QVERIFY(model->moveRow(QModelIndex(), 2, QModelIndex(), 1));  // one up
        QCOMPARE(Order(*model), QStringList({"a", "b", "d", "c"}));
        QCOMPARE(moved.count(), 4);

        // Moves onto themselves and out of range change nothing and say so.
        QVERIFY(!model->moveRow(QModelIndex(), 1, QModelIndex(), 1));
        QVERIFY(!model->moveRow(QModelIndex(), 1, QModelIndex(), 2));
        QVERIFY(!model->moveRow(QModelIndex(), 4, QModelIndex(), 0));
        QVERIFY(!model->moveRow(QModelIndex(), 0, QModelIndex(), 5));
        QCOMPARE(Order(*model), QStringList({"a", "b", "d", "c"}));
        QCOMPARE(moved.count(), 4);
    }

    void rowsKeepTheirDataAndPicture() {
        TFileListModel model;
        TFileRow row;
        row.Picture = QPixmap(4, 3);
        for (int c = 1; c < FileListColumnCount; ++c) row.Cells[size_t(c)] = QString("cell %1").arg(c);
        row.Cells[NxTextColumnRealDuration] = "2500000";
        model.AppendRow(row);
        QCOMPARE(model.columnCount(), 14);
        QCOMPARE(model.RealDuration(0), int64_t(2500000));
        QCOMPARE(model.data(model.index(0, NxTextColumnDimension)).toString(), QString("cell 4"));
        QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>().size(), QSize(4, 3));
        // Rows are moved whole but never edited or dropped onto.
        QVERIFY(!(model.flags(model.index(0, 0)) & (Qt::ItemIsEditable | Qt::ItemIsDropEnabled)));
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsDragEnabled);
        QVERIFY(!model.removeRows(0, 2));
        QVERIFY(model.removeRows(0, 1));
        QCOMPARE(model.rowCount(), 0);
    }

    void longPathsLoseInnerFoldersFirst() {
        const QFontMetrics metrics(QApplication::font());
        const QString path = "/home/user/Music/Some Artist/The Greatest Album Ever Made/01 - Opening Track.flac";
        const int full = metrics.horizontalAdvance(path);
        QCOMPARE(MinimizeName(path, metrics, full), path);

        const int width = metrics.horizontalAdvance("/home/.../The Greatest Album Ever Made/01 - Opening Track.flac");
        QCOMPARE(MinimizeName(path, metrics, width),
                 QString("/home/.../The Greatest Album Ever Made/01 - Opening Track.flac"));
        QCOMPARE(MinimizeName(path, metrics, width - 1), QString("/home/.../01 - Opening Track.flac"));
        QCOMPARE(MinimizeName(path, metrics, metrics.horizontalAdvance(".../01 - Opening Track.flac")),
                 QString(".../01 - Opening Track.flac"));

        // A file name too long on its own is cut, and still fits.
        const QString cut = MinimizeName(path, metrics, 60);
        QVERIFY2(metrics.horizontalAdvance(cut) <= 60, qPrintable(cut));
        QVERIFY(cut.startsWith("..."));
    }

    void valueTexts() {
        QCOMPARE(AudioBitRateText(127999), QString("127 Kbps"));
        QCOMPARE(AudioBitRateText(1411200), QString("1411 Kbps"));
        QCOMPARE(AudioBitRateText(1), QString("0 Kbps"));
        QCOMPARE(AudioBitRateText(0), QString("Bit rate is not preseted"));
        QCOMPARE(AudioBitRateText(-1), QString("Bit rate is not preseted"));
        QCOMPARE(DurationText(-1), QString("Duration is not preseted"));
        QCOMPARE(DurationText(0), QString("00:00:00.000"));
        QCOMPARE(DurationText(3723004999), QString("01:02:03.004"));
    }

    void supportedExtensions() {
        for (const char* name : {"/a/b.mp3", "/a/b.MP3", "/a/B.Flac", "x.rmvb", "/a.b/c.ts", "/m/x.dts", "/a/b.mpeg",
                                 "/a/b.OPUS", "/a/b.m2ts"})
            QVERIFY2(IsSupportedExtension(name), name);
        for (const char* name : {"/a/b.txt", "/a/mp3", "/a.mp3/b", "/a/b.mp3.part", "/a/b."})
            QVERIFY2(!IsSupportedExtension(name), name);
    }

    void dropsKeepSupportedFilesAndFolders() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("album.mp3"));  // a folder that looks like a file
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dir.path() + "/one.wav"), QUrl::fromLocalFile(dir.path() + "/notes.txt"),
                      QUrl::fromLocalFile(dir.path() + "/album.mp3"), QUrl("https://example.org/two.mp3"),
                      QUrl::fromLocalFile(dir.path() + "/clip.MPEG"),
                      QUrl::fromLocalFile(dir.path() + "/d\u00e9j\u00e0 vu.OGG")});
        // Folders are kept whatever their names: the add searches them.
        QCOMPARE(DroppedFileNames(data), QStringList({dir.path() + "/one.wav", dir.path() + "/album.mp3",
                                                      dir.path() + "/clip.MPEG", dir.path() + "/d\u00e9j\u00e0 vu.OGG"}));
    }
};

QTEST_MAIN(FileListTest)
#include "FileListTest.moc"
