#include "frontend/usi_mate.h"

#include "frontend/usi.h"

// The engine has no mate solver yet: it says so at once, so that a front end waiting
// for "checkmate" is never left waiting.
void answer_go_mate(int /*time_ms*/)
{
    usi_printf("checkmate notimplemented\n");
}
