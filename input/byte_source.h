// The one place where the program reads the bytes of an input: a file named by
// a path, standard input ("-"), or bytes already in memory. Bytes are handed
// out in chunks into the caller's buffer, so the memory a reader needs never
// depends on the size of what it reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kappa {

class ByteSource {
public:
    // What open() accepts: anything that can be read (pipes, terminals,
    // devices), or only regular files.
    enum class Accept { AnyFile, RegularFile };

    // A source with nothing to read.
    ByteSource() = default;
    // Bytes in memory, handed out at most `maxRead` at a time (small values
    // imitate a pipe that delivers a few bytes per read).
    explicit ByteSource(std::string_view bytes, std::size_t maxRead = static_cast<std::size_t>(-1));

    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;
    ByteSource(ByteSource&& other) noexcept;
    ByteSource& operator=(ByteSource&& other) noexcept;
    virtual ~ByteSource();

    // Opens `path`, or standard input for "-". On failure returns false and
    // error() says why ("cannot open: No such file or directory", "not a
    // regular file").
    bool open(const std::string& path, Accept accept = Accept::AnyFile);

    // Reads at most `size` bytes into `buffer`, the bytes put back first:
    // returns how many, 0 at the end of the input, or -1 when reading failed
    // (error() says why).
    std::ptrdiff_t read(char* buffer, std::size_t size);

    // Bytes that the next reads hand out before the rest of the input: what
    // one reader read and leaves to another.
    void putBack(std::string bytes);

    const std::string& error() const { return error_; }

protected:
    // Reads from the input itself, after any bytes put back. A source that
    // hands out another source's bytes (as UTF-8, say) reads them here.
    virtual std::ptrdiff_t readInput(char* buffer, std::size_t size);

    std::string error_;

private:
    void close();

    int fd_ = -1;
    bool ownsFd_ = false;
    std::string_view memory_;
    std::size_t maxRead_ = 0;
    std::string putBack_;
    std::size_t putBackRead_ = 0;  // the bytes of putBack_ handed out
};

}  // namespace kappa
