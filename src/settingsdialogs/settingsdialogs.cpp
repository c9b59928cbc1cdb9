#include "settingsdialogs.h"
