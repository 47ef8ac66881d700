// The quiescence search below the horizon of the main search: SearchWorker::Quiescence.
#pragma once

#include "search/worker.h"
