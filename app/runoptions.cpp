#include "app/runoptions.h"

bool appSheetOn = false;
