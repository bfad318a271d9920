#include "input/byte_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/platform.h"

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
    if (ownsFd_ && fd_ >= 0) platform::closeFile(fd_);
    fd_ = -1;
    ownsFd_ = false;
}

bool ByteSource::open(const std::string& path, Accept accept) {
    close();
    memory_ = {};
    putBack_.clear();
    putBackRead_ = 0;
    platform::OpenedFile opened = platform::openForReading(path, accept == Accept::RegularFile);
    fd_ = opened.descriptor;
    ownsFd_ = opened.owned;
    error_ = std::move(opened.error);
    return fd_ >= 0;
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
    return platform::readSome(fd_, buffer, size, error_);
}

}  // namespace kappa
