// Drives the plug-in's real windows from a test the way a user would: clicks, keys, slider drags, message boxes.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/winamp_dsp.h"

namespace uitest {

// Template ids and titles of the windows, in registration order.
struct WindowInfo {
    int templateId;
    const char* name;   // the window's settings name
    const char* title;  // the template's caption (the console's is set at run time)
    int openButton;     // console button that opens it; 0 for the console itself
};
extern std::vector<WindowInfo> kWindows;  // built at start-up from the engine's window rows
const WindowInfo* windowInfo(int templateId);

// The directory the plug-in keeps its files in under the documented lookup, with a trailing
// backslash: the first candidate folder in which a file can be created.
std::string settingsDirectory();
std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);
// Removes the settings file, every user preset file and the selection file, remembering what was
// there; restoreSettingsFiles() puts the remembered files back.
void clearSettingsFiles();
void restoreSettingsFiles();
// The value of `key` in a settings text ("key   = value" lines); empty when absent.
std::string settingsValue(const std::string& text, const std::string& key);

// One load of the plug-in: LoadLibrary, a host window of our own as owner, Init; Quit and
// FreeLibrary at the end (unless the test already quit).
class PluginSession {
public:
    PluginSession();
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    bool ready() const { return module_ != nullptr; }
    winampDSPModule* module() const { return module_; }
    HWND host() const { return host_; }
    void config() { module_->Config(module_); }
    void quit();
    int process(short* samples, int frames) { return module_->ModifySamples(module_, samples, frames, 16, 2, 44100); }

private:
    HMODULE library_ = nullptr;
    winampDSPModule* module_ = nullptr;
    HWND host_ = nullptr;
    bool quit_ = false;
};

// Windows of this thread.
HWND findWindow(int templateId);           // by title (the console: by its title prefix)
int countWindows(int templateId);
HWND console();
std::string windowText(HWND hwnd);
std::string controlText(HWND dialog, int id);
std::string className(HWND hwnd);
POINT windowOrigin(HWND hwnd);
// Handles pending messages (painting, posted notifications) without waiting for new ones.
void pumpMessages();

// User actions.
void click(HWND dialog, int buttonId);                 // BM_CLICK
void doubleClickListItem(HWND dialog, int listId);     // the list box's double-click notification
void selectListItem(HWND dialog, int listId, int index);
int selectedListItem(HWND dialog, int listId);
std::string listItemText(HWND dialog, int listId, int index);
void typeText(HWND dialog, int editId, const char* text);  // sets the text as typing does (EN_CHANGE)
// Moves a trackbar to `position` and sends the scroll notifications a drag sends (thumb track at
// the new place, then thumb position and end of tracking).
void dragSlider(HWND dialog, int trackbarId, int position);
// A key pressed while the control has the focus (trackbars notify their parent themselves).
void pressKey(HWND control, UINT virtualKey);
void clickLabel(HWND dialog, int labelId);             // a click on a notifying static
void closeWindow(HWND hwnd);                           // the close box
void timerTick(HWND console, int timerId);             // one tick of a console timer, delivered now

// Answers the plug-in's message boxes (caption "Drelvant") from a helper thread, as a user would,
// and records what they said.
struct SeenMessageBox {
    std::string text;
    bool yesNo = false;  // question with Yes and No buttons (else an OK box)
};
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(const char* caption = "Drelvant");
    ~MessageBoxAnswerer();
    // The button pressed on the next questions (IDYES or IDNO); OK boxes always get OK.
    void answerQuestions(int answer) { answer_ = answer; }
    // Every box seen since the last call.
    std::vector<SeenMessageBox> take();

private:
    void run();
    std::string caption_;
    std::atomic<int> answer_{IDYES};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenMessageBox> seen_;
    std::thread thread_;
};

// Saves the window's current look to `path` as a 24-bit BMP (copied from the screen).
bool saveWindowImage(HWND hwnd, const std::string& path);

}  // namespace uitest
