#include "palettes.h"
