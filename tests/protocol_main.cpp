// The protocol tests' runner: GoogleTest's switches, and --engine=PATH (or --engine PATH),
// the engine binary to test instead of this build's; a ".exe" runs under Wine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine_process.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], "--engine=", 9) == 0) {
            engine_binary() = argv[i] + 9;
        } else if (std::strcmp(argv[i], "--engine") == 0 && i + 1 < argc) {
            engine_binary() = argv[++i];
        } else {
            std::fprintf(stderr, "unknown argument %s\nusage: %s [gtest switches] [--engine=PATH]\n", argv[i], argv[0]);
            return 2;
        }
    }
    if (!std::filesystem::exists(engine_binary())) {
        std::fprintf(stderr, "no engine at %s\n", engine_binary().c_str());
        return 2;
    }
    // The engine starts in a folder of its own: a relative path would lead nowhere there.
    engine_binary() = std::filesystem::absolute(engine_binary()).string();
    // Wine's own messages on standard error would read as the engine's.
    if (runs_under_wine(engine_binary()))
        setenv("WINEDEBUG", "-all", 0);
    return RUN_ALL_TESTS();
}
