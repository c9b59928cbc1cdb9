#include "findreplace.h"
