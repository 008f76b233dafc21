#pragma once
// The rows of page 1's file list. Every row carries fourteen text columns; the
// list shows only the first five (through its delegate), the others are the
// row's data for building the batch. A row converts a whole file, or one track
// of it (a track of its cue sheet, or a chapter). The model is read-only for
// the view, apart from moving rows, which reorders the batch.
#include <QAbstractTableModel>
#include <QPixmap>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "OutputUpdate.h"
#include "SourceTrack.h"

enum TFileListColumn : int {
    NxGraphicColumnMainImage,     // the row's picture (DecorationRole)
    NxTextColumnFileMinName,      // the full path as shown (FileNames.h), shortened to fit the row
    NxTextColumnDuration,         // "Duration: ..."
    NxTextColumnBitrate,          // "Audio Bit rate: ..."
    NxTextColumnDimension,        // "Audio Encoder: ..."
    NxTextColumnFileFullName,     // the full path, byte for byte (FileNames.h); the file the batch converts
    NxTextColumnFileSize,
    NxTextColumnVideoEncoder,
    NxTextColumnAudioChannels,
    NxTextColumnAudioSampleRate,
    NxTextColumnAudioBitrate,
    NxTextColumnAudioEncoder,
    NxTextColumnFrameRate,
    NxTextColumnRealDuration,     // microseconds as a decimal integer, "0" when unknown
    FileListColumnCount
};

struct TChapteredFile;

struct TFileRow {
    // The row's own picture (an audio row shares the page's audio picture);
    // it goes with the row.
    QPixmap Picture;
    // For a track, NxTextColumnFileMinName holds its caption ("NN - Title"),
    // the duration columns its length; NxTextColumnFileFullName stays the
    // file it is cut from.
    std::array<QString, FileListColumnCount> Cells;
    // The folder the file was found under when a folder was added, byte for
    // byte (FileNames.h); empty for a file added by itself.
    QString Root;
    // The stretch of the file the row converts; none: the whole file.
    std::optional<TSourceTrack> Track;
    // A file with chapters, on its whole row or on each of its chapters'
    // rows: what either kind of row is made from again when "Split by
    // chapters" changes.
    std::shared_ptr<const TChapteredFile> Chaptered;
    // The file as it was when its probe found nothing but PCM in its PCM
    // (PcmSearchedPlain): its conversion need not search again while it is
    // the same. Not Known otherwise.
    TSourceIdentity PlainPcmAt;
};

struct TChapteredFile {
    TFileRow Whole;  // its Chaptered is null: the rows that show it point here
    std::vector<TSourceTrack> Chapters;
};

class TFileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TFileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent,
                  int destinationChild) override;

    void AppendRow(TFileRow row);
    // Every row at once, in place of the rows there are.
    void ResetRows(std::vector<TFileRow> rows);
    void Clear();
    const TFileRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    const std::vector<TFileRow>& Rows() const { return rows_; }
    QString Cell(int row, int column) const { return Row(row).Cells[static_cast<size_t>(column)]; }
    // The file of a row and its duration in microseconds (0 when unknown).
    QString FileFullName(int row) const { return Cell(row, NxTextColumnFileFullName); }
    int64_t RealDuration(int row) const { return Cell(row, NxTextColumnRealDuration).toLongLong(); }
    QString Root(int row) const { return Row(row).Root; }
    const std::optional<TSourceTrack>& Track(int row) const { return Row(row).Track; }
    const TSourceIdentity& PlainPcmAt(int row) const { return Row(row).PlainPcmAt; }

    // The caption a track's row shows in place of its file's name (a null
    // QVariant for a whole file's row), for the row's delegate.
    static constexpr int TrackCaptionRole = Qt::UserRole;

    // The sum of the known durations (microseconds), and the rows of unknown
    // duration: kept as rows come and go, so that showing them costs nothing
    // per added file.
    int64_t KnownDuration() const { return knownDuration_; }
    int UnknownDurations() const { return unknownDurations_; }

private:
    // Counts `row` in (sign 1) or out (sign -1) of the two sums.
    void Count(const TFileRow& row, int sign);

    std::vector<TFileRow> rows_;
    int64_t knownDuration_ = 0;
    int unknownDurations_ = 0;
};
