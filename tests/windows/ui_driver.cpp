// Test-side helpers that load the plug-in, find its windows and act on them with the messages a user's clicks send.
#include "tests/windows/ui_driver.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "params/engine_model.h"

namespace uitest {

// The engine's windows as the module registers them; the console's caption is set at run time.
std::vector<WindowInfo> kWindows = [] {
    std::vector<WindowInfo> windows;
    for (int w = 0; w < model::kWindowCount; ++w) {
        const model::WindowRow& row = model::kWindows[w];
        windows.push_back({row.templateId, row.name, row.templateId == 101 ? "Drelvant v1.20" : row.title,
                           row.openButton});
    }
    return windows;
}();

const WindowInfo* windowInfo(int templateId) {
    for (const WindowInfo& info : kWindows) {
        if (info.templateId == templateId) return &info;
    }
    return nullptr;
}

// ---- files ----

namespace {

constexpr const char* kCandidateDirectories[] = {
    "C:\\Progra~1\\Winamp\\", "D:\\Progra~1\\Winamp\\", "E:\\Progra~1\\Winamp\\", "C:\\Windows\\", "D:\\Windows\\",
    "E:\\Windows\\",          "C:\\WINNT\\",            "D:\\WINNT\\",            "E:\\WINNT\\",   "C:\\",
    "D:\\",                   "E:\\",
};

bool directoryExists(const std::string& directory) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool canCreateFileIn(const std::string& directory) {
    const std::string probe = directory + "drelvant_ui_test_probe.tmp";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return true;
}

std::vector<std::string> pluginFileNames(const std::string& directory) {
    std::vector<std::string> names = {"dsp_Drelvant.ini", "DV_Select.tmp"};
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((directory + "DV_Preset*.ini").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(data.cFileName);
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    return names;
}

std::map<std::string, std::string>& savedFiles() {
    static std::map<std::string, std::string> files;
    return files;
}

}  // namespace

std::string settingsDirectory() {
    for (const char* candidate : kCandidateDirectories) {
        if (directoryExists(candidate) && canCreateFileIn(candidate)) return candidate;
    }
    return std::string();
}

std::string readFile(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        std::fclose(file);
    }
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

void clearSettingsFiles() {
    const std::string directory = settingsDirectory();
    for (const std::string& name : pluginFileNames(directory)) {
        const std::string path = directory + name;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (savedFiles().count(path) == 0) savedFiles()[path] = readFile(path);
        DeleteFileA(path.c_str());
    }
}

void restoreSettingsFiles() {
    for (const auto& [path, text] : savedFiles()) writeFile(path, text);
    savedFiles().clear();
}

std::string settingsValue(const std::string& text, const std::string& key) {
    const std::string pattern = "\r\n" + key + " ";
    const std::size_t at = text.find(pattern);
    if (at == std::string::npos) return std::string();
    std::size_t p = text.find('=', at + pattern.size());
    if (p == std::string::npos) return std::string();
    ++p;
    while (p < text.size() && text[p] == ' ') ++p;
    const std::size_t end = text.find_first_of("\r\n", p);
    return text.substr(p, end == std::string::npos ? std::string::npos : end - p);
}

// ---- the plug-in ----

namespace {

LRESULT CALLBACK hostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND createHostWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = hostWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DrelvantUiTestHost";
        RegisterClassA(&windowClass);
        registered = true;
    }
    return CreateWindowA("DrelvantUiTestHost", "Winamp", WS_OVERLAPPEDWINDOW, 900, 700, 200, 100, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

PluginSession::PluginSession() {
    library_ = LoadLibraryA("dsp_drelvant.dll");
    if (library_ == nullptr) return;
    using GetHeader = winampDSPHeader* (*)();
    auto getHeader =
        reinterpret_cast<GetHeader>(reinterpret_cast<void*>(GetProcAddress(library_, "winampDSPGetHeader2")));
    if (getHeader == nullptr) return;
    winampDSPModule* module = getHeader()->getModule(0);
    if (module == nullptr) return;
    host_ = createHostWindow();
    module->hwndParent = host_;
    module->hDllInstance = library_;
    module->Init(module);
    module_ = module;
}

void PluginSession::quit() {
    if (module_ == nullptr || quit_) return;
    module_->Quit(module_);
    quit_ = true;
    pumpMessages();
}

PluginSession::~PluginSession() {
    quit();
    if (host_ != nullptr) DestroyWindow(host_);
    pumpMessages();
    if (library_ != nullptr) FreeLibrary(library_);
}

// ---- windows ----

namespace {

struct WindowSearch {
    std::string title;
    bool prefix;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    if (className(hwnd) != "#32770") return TRUE;
    const std::string text = windowText(hwnd);
    const bool matches = search->prefix ? text.rfind(search->title, 0) == 0 : text == search->title;
    if (matches) search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> windowsOf(int templateId) {
    const WindowInfo* info = windowInfo(templateId);
    if (info == nullptr) return {};
    WindowSearch search{info->title, templateId == 101, {}};
    EnumThreadWindows(GetCurrentThreadId(), collectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND findWindow(int templateId) {
    const std::vector<HWND> found = windowsOf(templateId);
    return found.empty() ? nullptr : found.front();
}

int countWindows(int templateId) { return static_cast<int>(windowsOf(templateId).size()); }

HWND console() { return findWindow(101); }

std::string windowText(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string controlText(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string className(HWND hwnd) {
    char name[128] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

POINT windowOrigin(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return {rect.left, rect.top};
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// ---- actions ----

void click(HWND dialog, int buttonId) { SendMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0); }

void doubleClickListItem(HWND dialog, int listId) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_DBLCLK), reinterpret_cast<LPARAM>(GetDlgItem(dialog, listId)));
}

void selectListItem(HWND dialog, int listId, int index) {
    HWND list = GetDlgItem(dialog, listId);
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

int selectedListItem(HWND dialog, int listId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, listId, LB_GETCURSEL, 0, 0));
}

std::string listItemText(HWND dialog, int listId, int index) {
    char text[256] = {};
    const LRESULT length = SendDlgItemMessageA(dialog, listId, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length >= static_cast<LRESULT>(sizeof text)) return "<none>";
    SendDlgItemMessageA(dialog, listId, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

void typeText(HWND dialog, int editId, const char* text) { SetDlgItemTextA(dialog, editId, text); }

void dragSlider(HWND dialog, int trackbarId, int position) {
    HWND trackbar = GetDlgItem(dialog, trackbarId);
    const bool vertical = (GetWindowLongA(trackbar, GWL_STYLE) & TBS_VERT) != 0;
    const UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
    const LPARAM source = reinterpret_cast<LPARAM>(trackbar);
    SendMessageA(dialog, message, MAKEWPARAM(TB_THUMBTRACK, position), source);
    SendMessageA(dialog, message, MAKEWPARAM(TB_THUMBPOSITION, position), source);
    SendMessageA(dialog, message, MAKEWPARAM(TB_ENDTRACK, 0), source);
}

void pressKey(HWND control, UINT virtualKey) {
    SendMessageA(control, WM_KEYDOWN, virtualKey, 1);
    SendMessageA(control, WM_KEYUP, virtualKey, 0xC0000001);
}

void clickLabel(HWND dialog, int labelId) {
    HWND label = GetDlgItem(dialog, labelId);
    SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void closeWindow(HWND hwnd) { SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

void timerTick(HWND console, int timerId) { SendMessageA(console, WM_TIMER, timerId, 0); }

// ---- message boxes ----

namespace {

struct BoxSearch {
    std::string caption;
    DWORD process;
    HWND found;
};

BOOL CALLBACK findBox(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (process != search->process || !IsWindowVisible(hwnd) || className(hwnd) != "#32770") return TRUE;
    if (windowText(hwnd) != search->caption) return TRUE;
    search->found = hwnd;
    return FALSE;
}

BOOL CALLBACK longestStatic(HWND hwnd, LPARAM context) {
    auto* text = reinterpret_cast<std::string*>(context);
    if (className(hwnd) == "Static") {
        const std::string candidate = windowText(hwnd);
        if (candidate.size() > text->size()) *text = candidate;
    }
    return TRUE;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(const char* caption) : caption_(caption), thread_([this] { run(); }) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessageBox> MessageBoxAnswerer::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<SeenMessageBox> seen;
    seen.swap(seen_);
    return seen;
}

void MessageBoxAnswerer::run() {
    constexpr DWORD kScanIntervalMs = 5;
    constexpr int kCloseWaitRounds = 2000;
    while (!stop_) {
        BoxSearch search{caption_, GetCurrentProcessId(), nullptr};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) {
            Sleep(kScanIntervalMs);
            continue;
        }
        HWND box = search.found;
        SeenMessageBox seen;
        seen.text = controlText(box, 0xFFFF);
        if (seen.text.empty()) EnumChildWindows(box, longestStatic, reinterpret_cast<LPARAM>(&seen.text));
        seen.yesNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(seen);
        }
        const int button = seen.yesNo ? answer_.load() : IDOK;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        for (int round = 0; round < kCloseWaitRounds && IsWindow(box); ++round) Sleep(1);
    }
}

// ---- pictures ----

bool saveWindowImage(HWND hwnd, const std::string& path) {
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Let the display server catch up with the drawing before the screen is read back.
    for (int round = 0; round < 10; ++round) {
        pumpMessages();
        Sleep(30);
    }
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
    return writeFile(path, bytes);
}

}  // namespace uitest

namespace {

// Under Wine on a bare X server (no window manager), hiding a window that Wine hands to the window
// manager waits two seconds for an answer that never comes, so every closed window would cost 2 s.
// The test prefix lets Wine manage the windows itself; this runs before any window exists.
bool unmanagedWineWindows() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const char value[] = "N";
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(key);
    return true;
}

const bool windowsUnmanaged = unmanagedWineWindows();

}  // namespace
