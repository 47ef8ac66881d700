// What each system's source file gives the shared part of the platform layer.
#pragma once

// The full path of the running executable into out; false when it cannot be told.
bool executable_path(char *out, int size);

// Whether a file name is absolute (then it is never looked for beside the executable).
bool is_absolute_path(const char *name);

// Whether c separates folders in a path.
bool is_path_separator(char c);
