#include "globals.h"

TGlobalVars GlobalVars;
