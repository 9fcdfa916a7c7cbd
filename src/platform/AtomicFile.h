// Writing a file so that nobody ever finds it half-written: the new contents go
// into a fresh temporary file beside the target, which replaces the target by a
// rename only once it is completely written and on disk.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// Writes the file sPath through write(), which gets the open temporary file
// and returns false when a write failed. A target that is a symbolic link stays
// a link: the file it points to is replaced, and the temporary file lies beside
// that file. An existing file keeps its permission bits (and its owner where
// the process may set it); a new one is made as fopen makes it. Only a regular
// file (or none) can be replaced.
// Returns 0, or on failure the errno value of the first failure (also left in
// errno); the target is then as it was and no temporary file is left.
int WriteFileAtomically(const std::string& sPath, const std::function<bool(std::FILE*)>& write);

// The same for a block of bytes.
int WriteFileAtomically(const std::string& sPath, const void* pBytes, size_t nBytes);
