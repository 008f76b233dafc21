#include "EndSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "ProgramFiles.h"

std::string EndSoundFile(const std::string& appDir, int failedCount, int stoppedCount) {
    return ProgramDataFile(appDir, failedCount <= 0 && stoppedCount <= 0 ? "sounds/done.wav" : "sounds/fail.wav");
}

TEndSound::TEndSound(QObject* parent) : QObject(parent) {}

void TEndSound::Play(const QString& file) {
    pending_ = false;
    if (effect_) effect_->stop();
    // Without an output device the effect would load and then play nothing.
    if (!QFileInfo(file).isFile() || QMediaDevices::defaultAudioOutput().isNull()) {
        Beep();
        return;
    }
    // One effect for the program's life: the device is opened once, not per batch.
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, [this] { EffectStatusChanged(); });
    }
    // The same file again would not be loaded again, and a file that failed
    // before may have been mended since.
    effect_->setSource(QUrl());
    pending_ = true;
    effect_->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    EffectStatusChanged();
}

void TEndSound::EffectStatusChanged() {
    if (!pending_) return;
    switch (effect_->status()) {
    case QSoundEffect::Ready:
        pending_ = false;
        effect_->play();
        break;
    case QSoundEffect::Error:
        pending_ = false;
        Beep();
        break;
    default:  // still loading
        break;
    }
}

void TEndSound::Beep() {
    QApplication::beep();
    emit Beeped();
}
