#pragma once

// Reading a whole file that must be a plain file: a FIFO, socket or device in its place is refused
// before anything waits on it.

#include <string>

namespace korvista {

struct RegularFileRead {
    enum class Status { Read, Missing, Directory, NotRegular, Failed };
    Status status = Status::Failed;
    std::string content;
    int error = 0; // errno of Missing and Failed
};

RegularFileRead ReadRegularFile(const std::string& path);

// The content, or korvista::Error "cannot read the <what> <path>: <reason>", "the <what> <path> is a
// directory" or "... is not a regular file".
std::string ReadRegularFileOrThrow(const std::string& path, const std::string& what);

} // namespace korvista
