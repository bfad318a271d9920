// The platform's services on Windows. Paths and arguments are UTF-8 in the
// program and UTF-16 for the system; the C runtime's descriptors read files
// in binary mode.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"

namespace kappa::platform {

namespace {

std::wstring wide(const std::string& text) {
    const int size = static_cast<int>(text.size());
    std::wstring converted(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)),
                           L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, converted.data(), static_cast<int>(converted.size()));
    return converted;
}

std::string utf8(const wchar_t* text) {
    const int size = static_cast<int>(std::wcslen(text));
    std::string converted(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, converted.data(), static_cast<int>(converted.size()), nullptr,
                        nullptr);
    return converted;
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE handleOf(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

bool isConsole(DWORD standardHandle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

}  // namespace

void useBinaryStandardStreams() {
    for (const int descriptor : {0, 1, 2}) _setmode(descriptor, _O_BINARY);
}

std::vector<std::string> arguments(int, char**) {
    int count = 0;
    wchar_t** const words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> converted;
    for (int i = 1; i < count; ++i) converted.push_back(utf8(words[i]));
    LocalFree(words);
    return converted;
}

OpenedFile openForReading(const std::string& path, bool regularOnly) {
    OpenedFile opened;
    if (path == "-") {
        opened.descriptor = kStandardInput;
        _setmode(kStandardInput, _O_BINARY);
    } else {
        const std::wstring name = wide(path);
        opened.descriptor = _wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
        if (opened.descriptor < 0) {
            // Windows refuses to open a folder at all; it is reported as the
            // POSIX systems report it, where only its reading fails.
            if (errno == EACCES && isFolder(name))
                opened.error = regularOnly ? "not a regular file" : std::string("cannot read: ") + errorText(EISDIR);
            else
                opened.error = std::string("cannot open: ") + errorText(errno);
            return opened;
        }
        opened.owned = true;
    }
    if (regularOnly && GetFileType(handleOf(opened.descriptor)) != FILE_TYPE_DISK) {
        if (opened.owned) _close(opened.descriptor);
        return {-1, false, "not a regular file"};
    }
    return opened;
}

std::ptrdiff_t readSome(int descriptor, char* buffer, std::size_t size, std::string& error) {
    const int got = _read(descriptor, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
    if (got < 0) error = std::string("cannot read: ") + errorText(errno);
    return got;
}

void closeFile(int descriptor) { _close(descriptor); }

std::FILE* openForWriting(const std::string& path) { return _wfopen(wide(path).c_str(), L"wb"); }

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    const bool standardInput = path == "-";
    const HANDLE file = standardInput ? handleOf(kStandardInput)
                                      : CreateFileW(wide(path).c_str(), 0,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) != 0 &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!standardInput) CloseHandle(file);
    if (!regular) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

void* allocatePages(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releasePages(void* block) noexcept { VirtualFree(block, 0, MEM_RELEASE); }

bool standardInputIsTerminal() { return isConsole(STD_INPUT_HANDLE); }

bool standardOutputIsTerminal() { return isConsole(STD_OUTPUT_HANDLE); }

std::string terminalPlusMinus() {
    const UINT codePage = GetConsoleOutputCP();
    if (codePage == CP_UTF8) return "\u00B1";
    char bytes[8];
    BOOL missing = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, L"\u00B1", 1, bytes, sizeof bytes, nullptr,
                                         &missing);
    return size > 0 && !missing ? std::string(bytes, static_cast<std::size_t>(size)) : "\xF1";
}

void discardTypedInput() { FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)); }

}  // namespace kappa::platform
