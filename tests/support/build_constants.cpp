// The build-time constants as the default build sets them.
#include "common/global_areas.h"

const char DictionaryLanguage[] = "Brazilian Portuguese";
const char VendorSite[] = "www.torvix.example";
