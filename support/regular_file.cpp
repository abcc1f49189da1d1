#include "support/regular_file.h"

#include "support/errors.h"
#include "support/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace korvista {

RegularFileRead ReadRegularFile(const std::string& path) {
    RegularFileRead result;
    // Without O_NONBLOCK a FIFO at the path would hold the open until some writer came along.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        result.error = errno;
        result.status = result.error == ENOENT ? RegularFileRead::Status::Missing : RegularFileRead::Status::Failed;
        return result;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = S_ISDIR(info.st_mode) ? RegularFileRead::Status::Directory : RegularFileRead::Status::NotRegular;
        return result;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.error = errno;
            result.content.clear();
            return result;
        }
        if (count == 0)
            break;
        result.content.append(buffer, static_cast<std::size_t>(count));
    }
    result.status = RegularFileRead::Status::Read;
    return result;
}

std::string ReadRegularFileOrThrow(const std::string& path, const std::string& what) {
    RegularFileRead read = ReadRegularFile(path);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        return std::move(read.content);
    case RegularFileRead::Status::Directory:
        throw Error("the " + what + " " + path + " is a directory");
    case RegularFileRead::Status::NotRegular:
        throw Error("the " + what + " " + path + " is not a regular file");
    case RegularFileRead::Status::Missing:
    case RegularFileRead::Status::Failed:
        break;
    }
    throw Error("cannot read the " + what + " " + path + ": " +
                std::error_code(read.error, std::generic_category()).message());
}

} // namespace korvista
