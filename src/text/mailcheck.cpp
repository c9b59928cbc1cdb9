#include "mailcheck.h"
