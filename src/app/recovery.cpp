#include "recovery.h"
