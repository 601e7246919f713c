#include "verify/SZCRC32.h"
