#include "search/root_search.h"

int Iterate;
