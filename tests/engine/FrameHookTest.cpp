// Frame hook modules: loading once per process, the three exports, the result
// codes, and the "vhook" option of a task.
#include <dlfcn.h>

#include "CapturedLog.h"
#include "CustomFFmpeg.h"
#include "FrameHook.h"
#include "HookCounters.h"
#include "TestSupport.h"

namespace {

HookCounters* Counters(const char* module) {
    void* handle = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    auto get = reinterpret_cast<HookCounters* (*)()>(dlsym(handle, "HookModuleCounters"));
    dlclose(handle);  // only drops the reference NOLOAD took
    return get ? get() : nullptr;
}

bool IsLoaded(const char* module) {
    void* handle = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// AddFrameHook with the texts as arguments.
int Add(TFrameHookList& list, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return AddFrameHook(list, static_cast<int>(args.size()), argv.data());
}

bool Logged(CapturedLog& log, const std::string& text) {
    for (const std::string& line : log.Lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

class FrameHookTest : public LibrariesTest {};

TEST_F(FrameHookTest, ConfigureProcessRelease) {
    TFrameHookList list;
    ASSERT_EQ(Add(list, {TEMBRIO_HOOK_MODULE, "a", "b"}), 0);
    HookCounters* c = Counters(TEMBRIO_HOOK_MODULE);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Configures, 1);
    EXPECT_EQ(c->LastArgc, 3);
    ASSERT_EQ(Add(list, {TEMBRIO_HOOK_MODULE}), 0);
    EXPECT_EQ(list.Count(), 2);

    TPicture picture;
    ProcessFrameHooks(list, &picture, AV_PIX_FMT_YUV420P, 160, 120, 40000);
    EXPECT_EQ(c->Processes, 2);
    EXPECT_EQ(c->LastWidth, 160);
    EXPECT_EQ(c->LastHeight, 120);
    EXPECT_EQ(c->LastPixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(c->LastPts, 40000);
    EXPECT_NE(c->LastContext, nullptr);

    ReleaseFrameHooks(list);
    EXPECT_EQ(c->Releases, 2);
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(IsLoaded(TEMBRIO_HOOK_MODULE));
}

TEST_F(FrameHookTest, ModuleLoadedOnceForTwoTasks) {
    const int before = LoadedFrameHookModules();
    {
        TCustomFFmpeg first(1), second(1);
        first.SetOption("vhook", std::string(TEMBRIO_HOOK_MODULE) + "|x y");
        second.SetOption("vhook", TEMBRIO_HOOK_MODULE);
        EXPECT_TRUE(first.Opt.VideoHookActive);
        EXPECT_TRUE(second.Opt.VideoHookActive);
        EXPECT_EQ(first.VideoHooks.Count(), 1);
        EXPECT_EQ(LoadedFrameHookModules(), before + 1);
        HookCounters* c = Counters(TEMBRIO_HOOK_MODULE);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->Loads, 1);
        EXPECT_EQ(c->Configures, 2);
        EXPECT_EQ(c->Releases, 0);
    }
    // The tasks released their hooks; the module stays.
    EXPECT_EQ(Counters(TEMBRIO_HOOK_MODULE)->Releases, 2);
    EXPECT_TRUE(IsLoaded(TEMBRIO_HOOK_MODULE));
}

TEST_F(FrameHookTest, ModuleWithoutProcessIsRejectedButStaysLoaded) {
    CapturedLog log(llInfo);
    TFrameHookList list;
    EXPECT_EQ(Add(list, {TEMBRIO_HOOK_NOPROCESS}), -2);
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(Logged(log, std::string("Failed to find Process entrypoint in ") + TEMBRIO_HOOK_NOPROCESS));
    EXPECT_TRUE(IsLoaded(TEMBRIO_HOOK_NOPROCESS));
    EXPECT_EQ(Counters(TEMBRIO_HOOK_NOPROCESS)->Configures, 0);
    EXPECT_EQ(LoadedFrameHookModules(), 1);
}

TEST_F(FrameHookTest, ResultCodes) {
    CapturedLog log(llInfo);
    TFrameHookList list;
    const int before = LoadedFrameHookModules();
    EXPECT_EQ(AddFrameHook(list, 0, nullptr), -2);
    EXPECT_EQ(LoadedFrameHookModules(), before);

    EXPECT_EQ(Add(list, {"/nonexistent/hook.so"}), -1);
    EXPECT_TRUE(Logged(log, "/nonexistent/hook.so"));

    // Without "Configure" a module can take no arguments.
    EXPECT_EQ(Add(list, {TEMBRIO_HOOK_NOCONFIGURE, "arg"}), -2);
    EXPECT_TRUE(Logged(log, std::string("Failed to find Configure entrypoint in ") + TEMBRIO_HOOK_NOCONFIGURE));
    EXPECT_EQ(Add(list, {TEMBRIO_HOOK_NOCONFIGURE}), 0);

    EXPECT_EQ(Add(list, {TEMBRIO_HOOK_MODULE, "fail"}), -22);
    EXPECT_TRUE(Logged(log, std::string("Failed to Configure ") + TEMBRIO_HOOK_MODULE));
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(FrameHookTest, VideoHookOptionFailures) {
    TCustomFFmpeg task(1);
    for (const char* value : {"", " | ", "/nonexistent/hook.so a"}) {
        try {
            task.SetOption("vhook", value);
            ADD_FAILURE() << "no exception for '" << value << "'";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(e.Message(), std::string("Failed to add video hook function: ") + value);
        }
    }
    EXPECT_FALSE(task.Opt.VideoHookActive);
}
