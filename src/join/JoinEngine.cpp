#include "join/JoinEngine.h"
