#include <algorithm>
#include <windows.h>

#include "AtomicFile.h"

namespace {

bool Fail(std::string& error, const char* step) {
    char text[256] = {};
    DWORD code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string said(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) said.pop_back();
    error = std::string(step) + ": " + (said.empty() ? "error " + std::to_string(code) : said);
    return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, int, std::string& error) {
    std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
    HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(error, "cannot create the new file");
    const char* step = nullptr;
    std::size_t done = 0;
    while (!step && done < bytes.size()) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            step = "cannot write the new file";
        done += written;
    }
    if (!step && !FlushFileBuffers(file)) step = "cannot flush the new file";
    DWORD code = GetLastError();
    CloseHandle(file);
    // One step that replaces the old file, through to the disk.
    if (!step && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        code = GetLastError();
        step = "cannot rename the new file over the old one";
    }
    if (step) {
        DeleteFileA(temporary.c_str());
        SetLastError(code);
        return Fail(error, step);
    }
    return true;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
