// Win32 implementation of the platform services.
#ifdef _WIN32

#include <windows.h>
#include <shlobj.h>

#include "platform/platform.h"

namespace platform {
namespace {

uint32_t (*tickSource)() = nullptr;
MessageBoxHandler messageBoxHandler = nullptr;

// The module these functions are linked into (the DLL, or a test executable).
HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}

}  // namespace

uint32_t tickCountMs() { return tickSource != nullptr ? tickSource() : static_cast<uint32_t>(GetTickCount()); }

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

void setTickSourceForTesting(uint32_t (*source)()) { tickSource = source; }

const char* directorySeparator() { return "\\"; }

bool directoryExists(const std::string& directory) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool canCreateFileIn(const std::string& directory) {
    const std::string probe = directory + "drelvant_probe_" + std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return true;
}

std::string perUserDirectory() {
    char appData[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData))) return std::string();
    const std::string directory = std::string(appData) + "\\Drelvant\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    if (GetFileAttributesA(directory.c_str()) == INVALID_FILE_ATTRIBUTES) return std::string();
    return directory;
}

void findFiles(const std::string& pattern, void (*visit)(const char*, bool, void*), void* context) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        visit(data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &data));
    FindClose(search);
}

bool deleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool findModuleResource(const char* type, int id, const unsigned char** data, std::size_t* size) {
    HMODULE module = ownModule();
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (info == nullptr) return false;
    HGLOBAL handle = LoadResource(module, info);
    if (handle == nullptr) return false;
    const void* bytes = LockResource(handle);
    if (bytes == nullptr) return false;
    *data = static_cast<const unsigned char*>(bytes);
    *size = SizeofResource(module, info);
    return true;
}

int messageBox(void* owner, const char* text, const char* caption, unsigned kind) {
    if (messageBoxHandler != nullptr) return messageBoxHandler(owner, text, caption, kind);
    return MessageBoxA(static_cast<HWND>(owner), text, caption, kind);
}

void setMessageBoxHandler(MessageBoxHandler handler) { messageBoxHandler = handler; }

}  // namespace platform

#endif
