#include "CLocale.h"

locale_t CNumericLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}
