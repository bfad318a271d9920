// What the program asks of the operating system, in one place: files read
// and written, whether two names are one file, memory for the largest tables,
// and the terminal of the dialogue. platform/posix.cpp serves Linux, macOS
// and the BSDs, platform/windows.cpp serves Windows; the rest of the program
// calls only these functions. Paths and arguments are UTF-8 everywhere.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace kappa::platform {

// Standard input, output and error carry bytes as they are: no line break is
// translated and no byte ends the input early.
void useBinaryStandardStreams();

// The program's arguments after its name, in UTF-8.
std::vector<std::string> arguments(int argc, char** argv);

// The words of an errno value, as strerror has them but safe to call from
// any thread (strerror may share one buffer between calls).
inline std::string errorText(int error) { return std::generic_category().message(error); }

// Files read by descriptor; standard input is "-", descriptor 0 on every system.
constexpr int kStandardInput = 0;
struct OpenedFile {
    int descriptor = -1;  // -1 when it could not be opened
    bool owned = false;   // closed by closeFile (standard input is not)
    std::string error;    // why not: "cannot open: No such file or directory", "not a regular file"
};
// Opens `path` for reading, or standard input for "-"; with `regularOnly`
// anything but a regular file (a folder, a FIFO, a device) is refused without
// waiting on it.
OpenedFile openForReading(const std::string& path, bool regularOnly);
// Reads at most `size` bytes: how many, 0 at the end, -1 with `error` set
// ("cannot read: Is a directory") when reading failed.
std::ptrdiff_t readSome(int descriptor, char* buffer, std::size_t size, std::string& error);
void closeFile(int descriptor);

// A file opened for writing bytes as they are; null, with errno set, when it cannot be.
std::FILE* openForWriting(const std::string& path);

// Where a regular file is stored, the same for every name of it.
struct FileIdentity {
    unsigned long long volume = 0;
    unsigned long long file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of the regular file at `path` ("-": standard input); none for
// anything else or what does not exist.
std::optional<FileIdentity> regularFileIdentity(const std::string& path);

// Memory for a table of at least 2 MiB, in huge pages where the system offers
// them; null when there is not enough. Released by releasePages alone.
void* allocatePages(std::size_t bytes);
void releasePages(void* block) noexcept;

// The terminal of the dialogue.
bool standardInputIsTerminal();
bool standardOutputIsTerminal();
// The plus-minus sign as the terminal on standard output shows it: in UTF-8
// where it shows UTF-8 (the locale's character set, or the Windows console's
// code page), in the console's code page where that has the sign, and byte
// 241 (code page 437) otherwise.
std::string terminalPlusMinus();
// Drops what was typed on the terminal but not yet read.
void discardTypedInput();

}  // namespace kappa::platform
