// Creating the file of an output: only under a free name, so that no file is
// ever overwritten, also not one another conversion has just made.
#include <cerrno>

#include "FileSetup.h"
#include "FFLog.h"
#include "MediaIO.h"
#include "OutputNames.h"

std::string TCustomFFmpeg::CreateOutputIO(AVFormatContext* oc, int slot) {
    TTaskIOGuard guard(*this);
    std::string url = oc->url;
    const bool hasRecord = slot < static_cast<int>(OutputOptionCopies.size());
    const bool claimed = hasRecord && OutputOptionCopies[slot].WriteIntoClaimedFile;
    int ret = OpenOutputIO(oc, url, claimed);
    const std::wstring base = hasRecord && !claimed ? OutputOptionCopies[slot].UniqueBaseName : L"";
    for (int n = 1; ret == AVERROR(EEXIST) && !base.empty() && n <= MaxNameCounter; ++n) {
        url = FileNameToURL(CounterName(base, n));
        guard.Restart();
        ret = OpenOutputIO(oc, url);
    }
    if (ret == AVERROR(EEXIST) && !base.empty())
        return NoFreeNameText(DiskName(FileNameToURL(base)));
    if (ret == AVERROR(ENAMETOOLONG)) return NameTooLongText(DiskName(url));
    if (ret < 0) return LibraryErrorText(DiskName(url), ret);
    if (url != oc->url) {
        GlobalLogger()->LogFmt(this, llInfo, "%s was taken meanwhile; writing %s", OutputPaths[slot], DiskName(url));
        ff::av_free(oc->url);
        oc->url = ff::av_strdup(url.c_str());
        OutputPaths[slot] = DiskName(url);
        OutputOptionCopies[slot].FileName = URLToFileName(url);
    }
    CreatedOutputs.push_back(DiskName(url));
    return {};
}
