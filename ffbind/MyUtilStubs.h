#pragma once
// Entry points of the C runtime library, bound at run time like the media
// libraries. The engine uses them for its two-pass log and statistics files and
// for number parsing; the log bridge formats library messages with vsnprintf.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <stdlib.h>

#include "StubMacros.h"

#define TEMBRIO_LIBC_ENTRIES(X, O)                                                     \
    X(fclose) X(fopen) X(fprintf) X(fread) X(fseeko) X(ftello) X(fwrite) X(snprintf)    \
    X(strtod) X(strtod_l) X(strtok_r) X(strtol) X(vsnprintf) X(newlocale) X(freelocale)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_LIBC_ENTRIES, MyUtil)
