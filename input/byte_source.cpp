#include "input/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kappa {

ByteSource::ByteSource(std::string_view bytes, std::size_t maxRead)
    : memory_(bytes), maxRead_(std::max<std::size_t>(maxRead, 1)) {}

ByteSource::ByteSource(ByteSource&& other) noexcept
    : error_(std::move(other.error_)),
      fd_(std::exchange(other.fd_, -1)),
      ownsFd_(std::exchange(other.ownsFd_, false)),
      memory_(std::exchange(other.memory_, {})),
      maxRead_(other.maxRead_),
      putBack_(std::move(other.putBack_)),
      putBackRead_(std::exchange(other.putBackRead_, 0)) {}

ByteSource& ByteSource::operator=(ByteSource&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        ownsFd_ = std::exchange(other.ownsFd_, false);
        memory_ = std::exchange(other.memory_, {});
        maxRead_ = other.maxRead_;
        putBack_ = std::move(other.putBack_);
        putBackRead_ = std::exchange(other.putBackRead_, 0);
        error_ = std::move(other.error_);
    }
    return *this;
}

ByteSource::~ByteSource() { close(); }

void ByteSource::close() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
}

bool ByteSource::open(const std::string& path, Accept accept) {
    close();
    memory_ = {};
    putBack_.clear();
    putBackRead_ = 0;
    error_.clear();
    const bool regularOnly = accept == Accept::RegularFile;
    int fd = STDIN_FILENO;
    if (path != "-") {
        // Without blocking, so that a FIFO that must be refused is not waited on.
        const int flags = O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
        do fd = ::open(path.c_str(), flags);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            error_ = std::string("cannot open: ") + std::strerror(errno);
            return false;
        }
        fd_ = fd;
        ownsFd_ = true;
    } else {
        fd_ = fd;
    }
    if (regularOnly) {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            error_ = "not a regular file";
            close();
            return false;
        }
        if (ownsFd_) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    }
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

void ByteSource::putBack(std::string bytes) {
    putBack_ = std::move(bytes);
    putBackRead_ = 0;
}

std::ptrdiff_t ByteSource::read(char* buffer, std::size_t size) {
    if (putBackRead_ < putBack_.size()) {
        const std::size_t n = std::min({size, putBack_.size() - putBackRead_, maxRead_ == 0 ? size : maxRead_});
        std::memcpy(buffer, putBack_.data() + putBackRead_, n);
        putBackRead_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }
    return readInput(buffer, size);
}

std::ptrdiff_t ByteSource::readInput(char* buffer, std::size_t size) {
    if (fd_ < 0) {
        const std::size_t n = std::min({size, memory_.size(), maxRead_});
        if (n > 0) std::memcpy(buffer, memory_.data(), n);
        memory_.remove_prefix(n);
        return static_cast<std::ptrdiff_t>(n);
    }
    ssize_t got;
    do got = ::read(fd_, buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0) error_ = std::string("cannot read: ") + std::strerror(errno);
    return got;
}

}  // namespace kappa
