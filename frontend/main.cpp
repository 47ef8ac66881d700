#include "frontend/usi.h"

int main()
{
    return engine_main();
}
