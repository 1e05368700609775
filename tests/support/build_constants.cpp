// The build-time constants as the default build sets them.
#include "run/run_state.h"

const char DictionaryLanguage[] = "Brazilian Portuguese";
const char VendorSite[] = "www.torvix.example";
