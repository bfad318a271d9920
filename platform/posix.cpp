// The platform's services on POSIX systems (Linux, macOS, the BSDs).
#include <fcntl.h>
#include <langinfo.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace kappa::platform {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundedToHugePages(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void useBinaryStandardStreams() {}

std::vector<std::string> arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

OpenedFile openForReading(const std::string& path, bool regularOnly) {
    OpenedFile opened;
    if (path == "-") {
        opened.descriptor = kStandardInput;
    } else {
        // Without blocking, so that a FIFO that must be refused is not waited on.
        const int flags = O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
        do opened.descriptor = ::open(path.c_str(), flags);
        while (opened.descriptor < 0 && errno == EINTR);
        if (opened.descriptor < 0) {
            opened.error = std::string("cannot open: ") + errorText(errno);
            return opened;
        }
        opened.owned = true;
    }
    if (regularOnly) {
        struct stat info {};
        if (::fstat(opened.descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (opened.owned) ::close(opened.descriptor);
            return {-1, false, "not a regular file"};
        }
        if (opened.owned) ::fcntl(opened.descriptor, F_SETFL, ::fcntl(opened.descriptor, F_GETFL) & ~O_NONBLOCK);
    }
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(opened.descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return opened;
}

std::ptrdiff_t readSome(int descriptor, char* buffer, std::size_t size, std::string& error) {
    ssize_t got;
    do got = ::read(descriptor, buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0) error = std::string("cannot read: ") + errorText(errno);
    return got;
}

void closeFile(int descriptor) { ::close(descriptor); }

std::FILE* openForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    struct stat info {};
    const int found = path == "-" ? ::fstat(kStandardInput, &info) : ::stat(path.c_str(), &info);
    if (found != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

void* allocatePages(std::size_t bytes) {
    void* block = std::aligned_alloc(kHugePage, roundedToHugePages(bytes));
#ifdef MADV_HUGEPAGE
    if (block != nullptr) ::madvise(block, roundedToHugePages(bytes), MADV_HUGEPAGE);
#endif
    return block;
}

void releasePages(void* block) noexcept { std::free(block); }

bool standardInputIsTerminal() { return ::isatty(kStandardInput) == 1; }

bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::string terminalPlusMinus() {
    std::setlocale(LC_CTYPE, "");
    const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8 ? "\u00B1" : "\xF1";
}

void discardTypedInput() { ::tcflush(kStandardInput, TCIFLUSH); }

}  // namespace kappa::platform
