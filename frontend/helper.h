// The configuration reader of the front end.
#pragma once

// Reads "key=value" from a text file; the first line containing key decides.
int GetConfInt(const char *key, int default_value, const char *file_name);
