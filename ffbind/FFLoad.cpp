#include "FFLoad.h"

#include <atomic>
#include <cassert>
#include <cfenv>
#include <climits>
#include <cstdlib>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libpostproc/version_major.h>
}

#include "AVCodecStubs.h"
#include "AVDeviceStubs.h"
#include "AVFilterStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "Exception.h"
#include "FFLog.h"
#include "FFUtils.h"
#include "Format.h"
#include "InterruptCB.h"
#include "LockManager.h"
#include "MyUtilStubs.h"
#include "SwResampleStubs.h"
#include "SwScaleStubs.h"
#include "UnicodeProtocol.h"

const TLibrarySet AllLibraries{LibAVCodec, LibSwResample, LibAVDevice, LibAVFilter,
                               LibAVFormat, LibAVUtil,     LibSwScale,  LibC};
const TLibrarySet EngineLibraries{LibAVCodec, LibAVFilter, LibSwResample, LibAVFormat,
                                  LibAVUtil,  LibSwScale,  LibC};

namespace {

std::string So(const char* name, int major) { return Format("lib%s.so.%d", name, major); }

const std::string kAVUtil = So("avutil", LIBAVUTIL_VERSION_MAJOR);
const std::string kSwResample = So("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
const std::string kSwScale = So("swscale", LIBSWSCALE_VERSION_MAJOR);
const std::string kPostProc = So("postproc", LIBPOSTPROC_VERSION_MAJOR);
const std::string kAVCodec = So("avcodec", LIBAVCODEC_VERSION_MAJOR);
const std::string kAVFormat = So("avformat", LIBAVFORMAT_VERSION_MAJOR);

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

// The folder goes to the front of PATH once; a folder already named there (in
// any letter case) is left alone.
void AddFolderToPath(const std::string& folder) {
    const char* old = getenv("PATH");
    std::string path = old ? old : "";
    std::string lowerPath = path, lowerFolder = folder;
    for (char& c : lowerPath) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (char& c : lowerFolder) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (lowerPath.find(lowerFolder) != std::string::npos) return;
    std::string updated = path.empty() ? folder : folder + ":" + path;
    setenv("PATH", updated.c_str(), 1);
}

struct BindingProcess {
    std::unique_ptr<TFFLoader> loader;
    fenv_t savedFloatEnv;
    bool haveSavedEnv = false;
};

BindingProcess& Process() {
    static BindingProcess p;
    return p;
}

std::atomic<bool> shuttingDown{false};

} // namespace

std::string LibraryFileName(const TLibraryItem& item) {
    if (item.MajorVersion >= 0) return So(item.Name.c_str(), item.MajorVersion);
    return "lib" + item.Name + ".so";
}

const std::vector<TLibraryItem>& LibraryTable() {
    static const std::vector<TLibraryItem> table = {
        {LibAVCodec, "avcodec", false, LIBAVCODEC_VERSION_MAJOR, BindAVCodec, UnbindAVCodec,
         {kAVUtil, kSwResample}},
        {LibSwResample, "swresample", false, LIBSWRESAMPLE_VERSION_MAJOR, BindSwResample, UnbindSwResample,
         {kAVUtil}},
        {LibAVDevice, "avdevice", false, 59, BindAVDevice, UnbindAVDevice,
         {kAVUtil, kSwResample, kSwScale, kPostProc, kAVCodec, kAVFormat}},
        {LibAVFilter, "avfilter", false, LIBAVFILTER_VERSION_MAJOR, BindAVFilter, UnbindAVFilter,
         {kAVUtil, kSwResample, kSwScale, kPostProc, kAVCodec, kAVFormat}},
        {LibAVFormat, "avformat", false, LIBAVFORMAT_VERSION_MAJOR, BindAVFormat, UnbindAVFormat,
         {kAVUtil, kSwResample, kAVCodec}},
        {LibAVUtil, "avutil", false, LIBAVUTIL_VERSION_MAJOR, BindAVUtil, UnbindAVUtil, {}},
        {LibSwScale, "swscale", false, LIBSWSCALE_VERSION_MAJOR, BindSwScale, UnbindSwScale, {kAVUtil}},
        {LibC, "c", true, 6, BindMyUtil, UnbindMyUtil, {}},
    };
    return table;
}

TFFLoader::TFFLoader() : TFFLoader(LibraryTable()) {}

TFFLoader::TFFLoader(std::vector<TLibraryItem> table) : table_(std::move(table)) {
    assert(table_.size() == LibraryCount);
    for (const TLibraryItem& item : table_) { TLibraryStatus st; st.Id = item.Id; status_.push_back(st); }
}

TFFLoader::~TFFLoader() { Unload(AllLibraries); }

bool TFFLoader::IsLoaded(TLibraryId id) const { return status_[id].Handle && status_[id].Bound; }

bool TFFLoader::AllLoaded(TLibrarySet set) const {
    assert(!set.Empty());
    for (const TLibraryItem& item : table_)
        if (set.Contains(item.Id) && !IsLoaded(item.Id)) return false;
    return true;
}

bool TFFLoader::Load(TLibrarySet set) {
    assert(!set.Empty());
    for (const TLibraryItem& item : table_) {
        if (!set.Contains(item.Id)) continue;
        if (!LoadOne(item)) {
            Unload(set);
            return false;
        }
    }
    return true;
}

void TFFLoader::Unload(TLibrarySet set) {
    assert(!set.Empty());
    for (const TLibraryItem& item : table_)
        if (set.Contains(item.Id)) UnloadOne(item);
}

// Opens the library's dependencies from the folder first, then the library
// itself by full path. The dynamic linker reuses an object already loaded under
// the same soname, so this is what makes the folder's copies win.
void* TFFLoader::OpenFromFolder(const TLibraryItem& item, const std::string& folder, std::string& error) {
    TLibraryStatus& st = status_[item.Id];
    for (const std::string& dep : item.Dependencies) {
        std::string path = folder + dep;
        if (!FileExists(path)) continue;
        std::string ignored;
        if (void* h = OpenSharedObject(path, ignored)) st.DependencyHandles.push_back(h);
    }
    return OpenSharedObject(folder + LibraryFileName(item), error);
}

bool TFFLoader::LoadOne(const TLibraryItem& item) {
    TLibraryStatus& st = status_[item.Id];
    const std::string fileName = LibraryFileName(item);
    if (!st.Handle) {
        std::string folder;
        if (!libraryPath_.empty() && !item.IsSystem) {
            folder = libraryPath_;
            if (folder.back() != '/') folder += '/';
        }
        std::string error;
        void* handle = nullptr;
        if (!folder.empty() && FileExists(folder + fileName)) {
            std::string saved = CurrentDirectory();
            if (chdir(folder.c_str()) == 0) {
                AddFolderToPath(folder);
                handle = OpenFromFolder(item, folder, error);
                if (!saved.empty() && chdir(saved.c_str()) != 0) {
                    // the old directory is gone; nothing sensible is left to restore
                }
            } else {
                handle = OpenFromFolder(item, folder, error);
            }
        } else {
            handle = OpenSharedObject(fileName, error);
        }
        if (!handle) {
            lastError_ = Format("Load library %s error: %s", folder + fileName, error);
            for (auto it = st.DependencyHandles.rbegin(); it != st.DependencyHandles.rend(); ++it)
                CloseSharedObject(*it);
            st.DependencyHandles.clear();
            return false;
        }
        st.Handle = handle;
    }
    if (!st.Bound) {
        try {
            item.BindProc(fileName, st.Handle);
            st.Bound = true;
        } catch (const Exception& e) {
            lastError_ = e.what();
        }
    }
    if (!st.Bound) {
        UnloadOne(item);
        return false;
    }
    PostLoad(item.Id);
    return true;
}

void TFFLoader::PostLoad(TLibraryId id) {
    switch (id) {
    case LibAVCodec:
        RegisterLockManager();
        break;
    case LibAVUtil:
        GlobalLogger();
        InstallLogCallback();
        // A damaged header can make a demuxer ask for gigabytes at once (a
        // WAV LIST chunk claiming 4 GiB is zeroed in full before it is read).
        // No picture, packet or buffer of a real file comes near this; such a
        // request fails and the file is refused like any damaged one.
        ff::av_max_alloc(MaxLibraryAllocation);
        break;
    case LibAVFormat:
        RegisterUnicodeProtocol();
        InstallInterruptCallback();
        break;
    default:
        break;
    }
}

void TFFLoader::UnloadOne(const TLibraryItem& item) {
    TLibraryStatus& st = status_[item.Id];
    if (st.Bound) {
        if (item.Id == LibAVCodec) UnregisterLockManager();
        if (item.Id == LibAVUtil && ff::av_log_set_callback) ff::av_log_set_callback(ff::av_log_default_callback);
        item.UnbindProc();
        st.Bound = false;
    }
    if (st.Handle) {
        CloseSharedObject(st.Handle);
        st.Handle = nullptr;
    }
    for (auto it = st.DependencyHandles.rbegin(); it != st.DependencyHandles.rend(); ++it) CloseSharedObject(*it);
    st.DependencyHandles.clear();
}

TFFLoader* FFLoader() { return Process().loader.get(); }

bool ShuttingDown() { return shuttingDown.load(); }

void FFBindStartup() {
    BindingProcess& p = Process();
    shuttingDown = false;
    p.haveSavedEnv = fegetenv(&p.savedFloatEnv) == 0;
    fedisableexcept(FE_ALL_EXCEPT);
    if (!p.loader) p.loader = std::make_unique<TFFLoader>();
    CreateInterruptRegistry();
}

void FFBindShutdown() {
    BindingProcess& p = Process();
    if (p.haveSavedEnv) fesetenv(&p.savedFloatEnv);
    shuttingDown = true;
    if (p.loader) p.loader->Unload(AllLibraries);
    p.loader.reset();
    FreeInterruptRegistry();
    ClearLastOptionMessage();
    FinalizeLogBridge();
}
