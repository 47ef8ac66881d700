#include "log/profile.h"

thread_local int profile[PROFILE_SIZE];
