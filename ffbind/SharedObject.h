#pragma once
// Shared-library loading and symbol binding for the entry-point modules.
#include <string>

// Looks `symbol` up in `handle` and stores it in *target (or nullptr). A missing
// required symbol raises Exception "Load function %s@%s error: %s".
void BindFunction(const std::string& fileName, void* handle, const char* symbol, bool optional, void** target);
// The same for a data export: "Load variable %s@%s error: %s".
void BindVariable(const std::string& fileName, void* handle, const char* symbol, bool optional, void** target);

// Opens a shared object with every symbol resolved now and made global, so that
// libraries opened later reuse it. Returns nullptr and fills `error` on failure.
void* OpenSharedObject(const std::string& path, std::string& error);
void CloseSharedObject(void* handle);

// The system text of the last loader failure, trimmed of trailing blanks,
// control characters and full stops.
std::string CleanSystemText(const std::string& text);
