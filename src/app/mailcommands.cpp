#include "mailcommands.h"
