#pragma once
// Replacing a file whole or not at all: the bytes go to a temporary file in
// the same folder, are flushed to disk, and the temporary file is renamed
// over the target. A reader never sees half a file, and a failed write
// leaves the previous file as it was.
#include <cstdint>
#include <string>
#include <vector>

namespace plinth {

// A symbolic link is written through to the file it names, also when that
// file does not exist yet; a loop of links fails. An existing file keeps its
// mode; a new one gets 0666 less the process's umask. systemError (if given)
// receives errno of a failure.
enum class WriteFileError { None, Open, Write };
WriteFileError WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                   int* systemError = nullptr);

}  // namespace plinth
