// PLACEHOLDER: replaced by the full interrupt registry.
#include "InterruptCB.h"
#include <memory>
namespace { std::unique_ptr<TInterruptCB> g_registry; }
void TInterruptCB::Add(uint32_t, void*, TInterruptCheck) {}
void TInterruptCB::Remove(uint32_t, void*, TInterruptCheck) {}
bool TInterruptCB::Check(uint32_t) { return false; }
void TInterruptCB::Clear() {}
TInterruptCB* InterruptRegistry() { return g_registry.get(); }
void CreateInterruptRegistry() { if (!g_registry) g_registry = std::make_unique<TInterruptCB>(); }
void FreeInterruptRegistry() { g_registry.reset(); }
int InterruptCallback(void*) { return 0; }
void InstallInterruptCallback() {}
AVFormatContext* AllocFormatContext() { return nullptr; }
AVIOInterruptCB InterruptCallbackRecord() { return AVIOInterruptCB{InterruptCallback, nullptr}; }
