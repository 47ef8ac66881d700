#include "search/pv.h"

int profile[PROFILE_SIZE];
