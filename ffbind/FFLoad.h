#pragma once
// The library loader: opens the media libraries (and the C runtime) at run time,
// binds their entry points into the process-wide pointers of the *Stubs modules
// and installs the program's hooks into them. Every other module calls the
// libraries only through those pointers, after asking IsLoaded/AllLoaded.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

enum TLibraryId {
    LibAVCodec,
    LibSwResample,  // resampling and sample formats, in the slot of the old core library
    LibAVDevice,    // known, never loaded
    LibAVFilter,
    LibAVFormat,
    LibAVUtil,
    LibSwScale,
    LibC,           // the C runtime, always by bare name
};
constexpr int LibraryCount = 8;
// The largest single block the media libraries may allocate, in bytes.
constexpr size_t MaxLibraryAllocation = size_t{512} << 20;

class TLibrarySet {
public:
    TLibrarySet() = default;
    TLibrarySet(std::initializer_list<TLibraryId> ids) {
        for (TLibraryId id : ids) bits_ |= 1u << id;
    }
    bool Contains(TLibraryId id) const { return (bits_ >> id) & 1u; }
    bool Empty() const { return bits_ == 0; }
    bool operator==(const TLibrarySet&) const = default;

private:
    unsigned bits_ = 0;
};

extern const TLibrarySet AllLibraries;
extern const TLibrarySet EngineLibraries;  // all but LibAVDevice

using TBindProc = void (*)(const std::string& fileName, void* handle);
using TUnbindProc = void (*)();

struct TLibraryItem {
    TLibraryId Id;
    std::string Name;
    bool IsSystem;
    int MajorVersion;   // -1: the file name carries no version
    TBindProc BindProc;
    TUnbindProc UnbindProc;
    // Files this library needs, opened from the library folder first (in this
    // order) so that the folder's copies win over the system's.
    std::vector<std::string> Dependencies;
};

struct TLibraryStatus {
    TLibraryId Id;
    void* Handle = nullptr;
    bool Bound = false;
    std::vector<void*> DependencyHandles;
};

// "lib" + name + ".so." + major (no version part when the major is negative).
std::string LibraryFileName(const TLibraryItem& item);
// The eight rows, in load order.
const std::vector<TLibraryItem>& LibraryTable();

class TFFLoader {
public:
    TFFLoader();
    // A loader over another table with the same eight ids (tests use it to name
    // libraries that do not exist).
    explicit TFFLoader(std::vector<TLibraryItem> table);
    ~TFFLoader();
    TFFLoader(const TFFLoader&) = delete;
    TFFLoader& operator=(const TFFLoader&) = delete;

    void SetLibraryPath(const std::string& path) { libraryPath_ = path; }
    const std::string& LibraryPath() const { return libraryPath_; }
    const std::string& LastError() const { return lastError_; }

    bool Load(TLibrarySet set);
    void Unload(TLibrarySet set);
    bool IsLoaded(TLibraryId id) const;
    bool AllLoaded(TLibrarySet set) const;

private:
    bool LoadOne(const TLibraryItem& item);
    void UnloadOne(const TLibraryItem& item);
    void* OpenFromFolder(const TLibraryItem& item, const std::string& folder, std::string& error);
    void PostLoad(TLibraryId id);

    std::vector<TLibraryItem> table_;
    std::vector<TLibraryStatus> status_;
    std::string libraryPath_;
    std::string lastError_;
};

// The process's loader; exists between FFBindStartup and FFBindShutdown.
TFFLoader* FFLoader();
// True once process shutdown has begun; the lock manager then does nothing.
bool ShuttingDown();

// Process start-up and shutdown of the binding: create the loader and the
// interrupt registry, mask every floating-point exception (saving the previous
// environment); at shutdown restore it, set ShuttingDown, unload everything.
void FFBindStartup();
void FFBindShutdown();

// Owns the binding for the life of a program's main().
class TFFBindProcess {
public:
    TFFBindProcess() { FFBindStartup(); }
    ~TFFBindProcess() { FFBindShutdown(); }
    TFFBindProcess(const TFFBindProcess&) = delete;
    TFFBindProcess& operator=(const TFFBindProcess&) = delete;
};
