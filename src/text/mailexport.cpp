#include "mailexport.h"
