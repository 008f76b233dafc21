// The task's loudness: taken from the meter of its first output's audio once
// the trailers are written, logged, and given to the output's tags as its
// track's ReplayGain when the record asks for them.
#include <cmath>

#include "AudioOutput.h"
#include "FFLog.h"
#include "FileSetup.h"
#include "ReplayGainTags.h"
#include "RunTables.h"

void TCustomFFmpeg::NoteLoudness() {
    Loudness = TLoudness{};
    if (!Opt.MeasureLoudness) return;
    for (TOutputStream* ost : Run_->OutputStreams) {
        // Joined files are measured by the first file's stage, as one.
        if (&LeadOf(*ost) != ost || !ost->NeedsEncoding) continue;
        auto* audio = dynamic_cast<TAudioOutput*>(ost->Stage.get());
        if (!audio) continue;
        std::unique_ptr<TLoudnessMeter> taken = audio->TakeMeter();
        if (!taken) return;  // no audio reached the encoder
        // An album's meters are kept until its last file is done.
        taken->Finish();
        std::shared_ptr<const TLoudnessMeter> meter = std::move(taken);
        const int file = ost->FileIndex;
        // An output that writes no file (a pass that only measures) tells of its source.
        const std::string name = OutputFiles[file]->pb ? OutputPaths[file] : DiskName(InputFiles[0]->url);
        const double integrated = meter->Integrated(), peak = meter->TruePeak();
        if (std::isnan(integrated) || !std::isfinite(peak)) {
            // A damaged source decoded to samples that are no numbers.
            GlobalLogger()->LogFmt(this, llWarning, "The loudness of %s cannot be measured", name);
            return;
        }
        Loudness.Measured = true;
        Loudness.Integrated = integrated;
        Loudness.TruePeak = peak;
        Loudness.Gain = Opt.AudioGain;
        Loudness.Meter = std::move(meter);
        GlobalLogger()->LogFmt(this, llInfo, "%s: %s", name, LoudnessText(integrated, peak));
        TTagJob* job = file < static_cast<int>(TagJobs_.size()) ? &TagJobs_[file] : nullptr;
        if (job && !job->Path.empty()) Loudness.TagFormat = job->Format;
        // Silence has no gain that would bring it to any loudness.
        if (!Opt.ReplayGainTags || Loudness.Silent()) return;
        if (Loudness.TagFormat == TTagFormat::None)
            GlobalLogger()->LogFmt(this, llWarning,
                                   "%s gets no ReplayGain tags: its tags are written before its sound is measured",
                                   OutputPaths[file]);
        else
            SetTrackReplayGain(job->Tags, Loudness);
        return;
    }
}
