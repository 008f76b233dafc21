#pragma once
// The sound at the end of a batch: "done" when every file converted, "fail"
// when any failed or was stopped. It plays asynchronously; when the file is missing or cannot be
// played, the desktop's default sound stands in for it.
#include <QObject>
#include <QString>
#include <string>

class QSoundEffect;

// The sound file beside the executable or in the installed data folder
// (ProgramDataFile); appDir is the executable's folder, ending with the path
// separator.
std::string EndSoundFile(const std::string& appDir, int failedCount, int stoppedCount);

class TEndSound : public QObject {
    Q_OBJECT

public:
    explicit TEndSound(QObject* parent = nullptr);

    // Returns at once. A sound still playing stops and the new one starts.
    void Play(const QString& file);

signals:
    // The default sound stood in for a file.
    void Beeped();

private:
    void EffectStatusChanged();
    void Beep();

    QSoundEffect* effect_ = nullptr;
    // The effect is loading the file that Play asked for.
    bool pending_ = false;
};
