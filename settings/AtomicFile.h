// A file replaced as one step: a new file, on the disk before it takes the old
// one's place, then the directory flushed so the rename survives a power cut.
// A reader sees the old bytes or the new ones; a failed write leaves the old
// file whole and no temporary file behind.
#pragma once

#include <string>

// `mode` is a new file's; a file already there keeps its mode, and its owner
// where the writer may give it (root). False with `error` naming the step and
// the system's text when it fails.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, int mode, std::string& error);

// Renames `from` to `to`, replacing a file already there; false when it cannot.
bool MoveReplacing(const std::string& from, const std::string& to);
