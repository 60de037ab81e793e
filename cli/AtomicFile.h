// Replacing a file so that a reader sees either the old or the new contents,
// never a half-written file: node_exporter's textfile collector may read the
// Prometheus file at any moment while k40ctl rewrites it after every scan.
#pragma once

#include <string>

// Writes the text to a temporary file in the same folder, syncs it to disk,
// sets mode 0644 and renames it over the path. Refuses (false, with the reason
// in *error) a path that exists and is not a regular file, such as a folder, a
// FIFO or a symbolic link. On any failure the temporary file is removed and the
// path is left as it was.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);
