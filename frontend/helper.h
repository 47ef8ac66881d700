// The configuration reader of the front end.
#pragma once

// Reads "key=value" from a text file; the first line containing key decides.
int GetConfInt(const char *key, int default_value, const char *file_name);
// Copies the text after "key=" of the first line whose key is key (any case, spaces around the
// key and the value dropped) into out; returns false, out untouched, without such a line.
bool GetConfString(const char *key, char *out, int size, const char *file_name);
