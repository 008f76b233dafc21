#pragma once
// Adding files without holding up the window. The names of an add are
// searched on a worker thread (a folder becomes the media files below it), and
// every file found is probed and its picture taken on worker threads, each with
// a probe of its own; the tracks of a sheet share one probe of their image. The results come back to the main thread one at a time,
// in the order the files were given, each as soon as it and all before it are
// ready.
#include <QObject>
#include <QSize>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "FileRowBuilder.h"

class TFileAdder : public QObject {
    Q_OBJECT

public:
    // threads: the worker threads of an add; at least one.
    explicit TFileAdder(int threads, QObject* parent = nullptr);
    // Stops the add and waits for every worker.
    ~TFileAdder() override;
    TFileAdder(const TFileAdder&) = delete;
    TFileAdder& operator=(const TFileAdder&) = delete;

    // Main thread: each file, in order (not opened ones too). The handler may
    // call Stop.
    std::function<void(TProbedRow& file)> OnFile;
    // Main thread: the counts changed.
    std::function<void()> OnProgress;
    // Main thread: the add ended, with every file handed over or stopped.
    std::function<void(bool stopped)> OnDone;

    // Names (FileNames.h) to add after the ones given before: starts an add,
    // or extends the running one. Folders are searched for the media files
    // below them. Pictures are scaled to fit pictureArea (device pixels).
    // Raises Exception when no worker thread can be started.
    void Add(const QStringList& names, const QSize& pictureArea);
    // Ends the running add: the files not yet handed over never are, and
    // OnDone(true) is called before it returns. The workers end on their own
    // within a file; a probe under way gives up through the interrupt check.
    void Stop();
    // Stops, and waits until every worker of this and earlier adds has ended.
    void StopAndWait();

    bool Running() const { return run_ != nullptr; }
    // The files handed over, and the files found so far (the tracks of an
    // image that a sheet gives count as one file: it is probed once).
    int Settled() const;
    int Found() const;
    // Whether names are still being searched.
    bool Searching() const;

private:
    struct TRun;

    void StartWorkers(TRun& run);
    static void Work(TFileAdder* adder, TRun* run);
    // Worker side: asks the main thread to deliver, once until it has.
    void RequestDelivery();
    void RequestReaping();
    // Main thread.
    void Deliver();
    void Finish();
    void Retire();
    void Reap();

    const int threads_;
    std::unique_ptr<TRun> run_;
    // Stopped or finished adds whose workers have not all ended yet.
    std::vector<std::unique_ptr<TRun>> retired_;
    std::atomic<bool> deliveryRequested_{false};
};
