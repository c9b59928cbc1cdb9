#include "textexport.h"
