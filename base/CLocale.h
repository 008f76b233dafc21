#pragma once
// Numbers in option values, presets, settings and messages are read and written
// in the "C" locale whatever the desktop's locale says: a German desktop must
// still read the "aq=4.97" of a preset as 4.97.
#include <locale.h>

// One "C" locale for the whole process, created on first use and never changed.
locale_t CNumericLocale();

// Makes the calling thread use the "C" locale while it lives. The libraries
// parse and print option values with the thread's locale, so a comma-decimal
// desktop would otherwise refuse "i_qfactor=0.71".
class TCLocaleScope {
public:
    TCLocaleScope() : previous_(uselocale(CNumericLocale())) {}
    ~TCLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    TCLocaleScope(const TCLocaleScope&) = delete;
    TCLocaleScope& operator=(const TCLocaleScope&) = delete;

private:
    locale_t previous_;
};
