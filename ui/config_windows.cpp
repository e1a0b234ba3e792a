// Opening, binding, editing, refreshing and closing of every plug-in window through one dialog procedure.
#include "ui/config_windows.h"
#include "host/plugin.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "params/slider_math.h"
#include "platform/shared_value.h"
#include "ui/analysis_windows.h"
#include "ui/console_window.h"

namespace {

constexpr int kNameBoxId = 1009;
constexpr int kPresetNameLimit = 16;
constexpr int kSearchBoxId = 1072;
constexpr int kSearchTextLimit = 64;
constexpr int kFindButtonId = 1073;
constexpr std::size_t kLabelTextSize = 64;

bool isSlider(const ParamEntry& param) { return param.kind == VerticalSlider || param.kind == HorizontalSlider; }

double& liveDouble(const ParamEntry& param) { return *static_cast<double*>(param.value); }
uint8_t& liveByte(const ParamEntry& param) { return *static_cast<uint8_t*>(param.value); }

void showLabel(HWND hwnd, const ParamEntry& param, double value) {
    if (param.labelId == 0) return;
    char text[kLabelTextSize];
    formatParamLabel(param, value, text, sizeof text);
    SetDlgItemTextA(hwnd, param.labelId, text);
}

void bindSlider(HWND hwnd, const ParamEntry& param) {
    HWND trackbar = GetDlgItem(hwnd, param.controlId);
    const TrackbarSetup setup = trackbarSetup(param);
    const double value = loadShared(liveDouble(param));
    SendMessageA(trackbar, TBM_SETRANGEMAX, FALSE, setup.rangeMax);
    SendMessageA(trackbar, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageA(trackbar, TBM_SETTICFREQ, setup.tickFrequency, 0);
    SendMessageA(trackbar, TBM_SETLINESIZE, 0, setup.lineSize);
    SendMessageA(trackbar, TBM_SETPAGESIZE, 0, setup.pageSize);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, sliderPosition(param, value));
    showLabel(hwnd, param, value);
}

void markSettingsChanged(const WindowEntry& entry) {
    if (entry.marksSettingsChanged) storeShared(ModuleRegistry().settingsChanged, true);
}

void showMeter(HWND hwnd, ParamEntry& param, double value) {
    param.lastShown = value;
    SendDlgItemMessageA(hwnd, param.controlId, PBM_SETPOS, meterPosition(param, value), 0);
    showLabel(hwnd, param, value);
}

HINSTANCE templateInstance() {
    if (dspModule.hDllInstance != nullptr) return static_cast<HINSTANCE>(dspModule.hDllInstance);
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&templateInstance), &self);
    return self;
}

void registerControlClasses() {
    static bool registered = false;
    if (registered) return;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    registered = true;
}

bool isAnalysisTemplate(int templateId) {
    return templateId == kOscilloscopeTemplate || templateId == kSpectrumTemplate ||
           templateId == kResponsePlotTemplate;
}

// The registry keeps the dialog procedure in its portable form; every window is created with the
// real one below, so this only forwards.
intptr_t portableDialogProc(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return ConfigDialogProc(static_cast<HWND>(hwnd), message, wParam, lParam);
}

}  // namespace

DialogProc uiDialogProc() { return portableDialogProc; }

WindowEntry* FindWindowEntry(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    for (WindowEntry* entry = ModuleRegistry().windows; entry != nullptr; entry = entry->next) {
        if (entry->hwnd == hwnd) return entry;
    }
    return nullptr;
}

void ShowConfigWindow(int templateId) {
    WindowEntry* entry = FindWindowByTemplate(ModuleRegistry(), templateId);
    if (entry == nullptr) return;
    if (entry->hwnd != nullptr) {
        HWND open = static_cast<HWND>(entry->hwnd);
        ShowWindow(open, SW_SHOW);
        SetWindowPos(open, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return;
    }
    registerControlClasses();
    HWND created = CreateDialogParamA(templateInstance(), MAKEINTRESOURCEA(templateId),
                                      static_cast<HWND>(dspModule.hwndParent), ConfigDialogProc,
                                      reinterpret_cast<LPARAM>(entry));
    storeShared(entry->hwnd, static_cast<void*>(created));
    SetWindowPos(created, nullptr, entry->x, entry->y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(created, SW_SHOW);
}

void BindWindow(WindowEntry& entry, HWND hwnd) {
    entry.visible = true;
    storeShared(entry.hwnd, static_cast<void*>(hwnd));
    if (entry.templateId == kConsoleTemplate) {
        SendDlgItemMessageA(hwnd, kNameBoxId, EM_LIMITTEXT, kPresetNameLimit, 0);
        ShowPresetNameInConsole(hwnd);
    } else if (entry.templateId == kDocumentationTemplate) {
        SendDlgItemMessageA(hwnd, kSearchBoxId, EM_LIMITTEXT, kSearchTextLimit, 0);
    }
    for (ParamEntry* param = entry.params; param != nullptr; param = param->next) {
        switch (param->kind) {
            case VerticalSlider:
            case HorizontalSlider:
                bindSlider(hwnd, *param);
                break;
            case CheckBox:
                CheckDlgButton(hwnd, param->controlId, loadShared(liveByte(*param)) != 0 ? BST_CHECKED : BST_UNCHECKED);
                break;
            case Meter:
                SendDlgItemMessageA(hwnd, param->controlId, PBM_SETRANGE32, 0, kMeterPositions);
                break;
            default:
                break;
        }
    }
    RefreshMeters(hwnd);
}

void OnSliderMoved(HWND hwnd, HWND slider) {
    WindowEntry* entry = FindWindowEntry(hwnd);
    if (entry == nullptr || slider == nullptr) return;
    ParamEntry* param = entry->params;
    while (param != nullptr && GetDlgItem(hwnd, param->controlId) != slider) param = param->next;
    if (param == nullptr || !isSlider(*param)) return;
    const int32_t position = static_cast<int32_t>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    const double value = sliderValue(*param, position);
    storeShared(liveDouble(*param), value);
    showLabel(hwnd, *param, value);
    markSettingsChanged(*entry);
}

void OnControlCommand(HWND hwnd, int id) {
    WindowEntry* entry = FindWindowEntry(hwnd);
    if (entry == nullptr || id == 0) return;
    for (ParamEntry* param = entry->params; param != nullptr; param = param->next) {
        if (param->labelId == id) {
            SetFocus(GetDlgItem(hwnd, param->controlId));
            return;
        }
    }
    for (ParamEntry* param = entry->params; param != nullptr; param = param->next) {
        if (param->controlId != id) continue;
        if (param->kind == CheckBox) {
            const bool checked = IsDlgButtonChecked(hwnd, id) == BST_CHECKED;
            storeShared(liveByte(*param), static_cast<uint8_t>(checked ? 1 : 0));
            markSettingsChanged(*entry);
        }
        return;
    }
}

void RefreshMeters(HWND target) {
    for (WindowEntry* entry = ModuleRegistry().windows; entry != nullptr; entry = entry->next) {
        HWND hwnd = static_cast<HWND>(entry->hwnd);
        if (hwnd == nullptr || (target != nullptr && hwnd != target)) continue;
        for (ParamEntry* param = entry->params; param != nullptr; param = param->next) {
            if (param->kind != Meter) continue;
            const double value = loadShared(liveDouble(*param));
            if (target == nullptr && value == param->lastShown) continue;
            showMeter(hwnd, *param, value);
        }
    }
}

void CloseConfigWindow(HWND hwnd) {
    const bool closingConsole = ModuleRegistry().windows != nullptr && ModuleRegistry().windows->hwnd == hwnd;
    for (WindowEntry* entry = ModuleRegistry().windows; entry != nullptr; entry = entry->next) {
        HWND open = static_cast<HWND>(entry->hwnd);
        if (open == nullptr) continue;
        RECT rect;
        if (GetWindowRect(open, &rect)) {
            entry->x = rect.left;
            entry->y = rect.top;
        }
        if (open == hwnd) {
            entry->visible = false;
        } else if (!closingConsole) {
            continue;
        }
        ReleaseOffscreenSurface(*entry);
        DestroyWindow(open);
        // Release: a closed console hands the settings text and the preset store to the playback
        // thread's poll, which reads this handle with acquire.
        storeRelease(entry->hwnd, static_cast<void*>(nullptr));
    }
}

namespace {

// The offscreen surfaces of the analysis windows, kept here rather than in the registry: GDI
// handles are this user interface's business. One per analysis window, by template.
struct OffscreenSurface {
    int templateId;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap;
};
OffscreenSurface surfaces[] = {{kOscilloscopeTemplate, nullptr, nullptr, nullptr},
                               {kSpectrumTemplate, nullptr, nullptr, nullptr},
                               {kResponsePlotTemplate, nullptr, nullptr, nullptr}};

OffscreenSurface* surfaceOf(const WindowEntry& entry) {
    for (OffscreenSurface& surface : surfaces) {
        if (surface.templateId == entry.templateId) return &surface;
    }
    return nullptr;
}

}  // namespace

HDC SurfaceDc(const WindowEntry& entry) {
    const OffscreenSurface* surface = surfaceOf(entry);
    return surface != nullptr ? surface->dc : nullptr;
}

bool CreateOffscreenSurface(WindowEntry& entry) {
    HWND hwnd = static_cast<HWND>(entry.hwnd);
    OffscreenSurface* surface = surfaceOf(entry);
    if (hwnd == nullptr || surface == nullptr || surface->dc != nullptr) return false;
    HDC windowDc = GetDC(hwnd);
    if (windowDc == nullptr) return false;
    HDC memoryDc = CreateCompatibleDC(windowDc);
    if (memoryDc == nullptr) {
        ReleaseDC(hwnd, windowDc);
        return false;
    }
    RECT client;
    if (!GetClientRect(hwnd, &client)) {
        DeleteDC(memoryDc);
        ReleaseDC(hwnd, windowDc);
        return false;
    }
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, client.right - client.left, client.bottom - client.top);
    ReleaseDC(hwnd, windowDc);
    if (bitmap == nullptr) {
        DeleteDC(memoryDc);
        return false;
    }
    surface->dc = memoryDc;
    surface->bitmap = bitmap;
    surface->previousBitmap = SelectObject(memoryDc, bitmap);
    return true;
}

void ReleaseOffscreenSurface(WindowEntry& entry) {
    OffscreenSurface* surface = surfaceOf(entry);
    if (surface == nullptr || surface->dc == nullptr) return;
    SelectObject(surface->dc, surface->previousBitmap);
    DeleteObject(surface->bitmap);
    DeleteDC(surface->dc);
    surface->dc = nullptr;
    surface->bitmap = nullptr;
    surface->previousBitmap = nullptr;
}

namespace {

// The Advanced window's formats switch and the line under it; not parameters (the switch lives in
// the settings file only, never in presets).
constexpr int kAdvancedTemplate = 121;
constexpr int kProcessAllFormatsId = 1150;
constexpr int kFormatStatusId = 1151;

// "48000 Hz 24-bit stereo: processed, resampled to 44.1 kHz; delay 512 ms" and the like.
void showFormatStatus(HWND advanced) {
    const FormatStatus status = formatStatus();
    char line[160];
    if (status.srate <= 0) {
        std::snprintf(line, sizeof line, "Nothing played yet.");
    } else {
        const char* layout = status.nch == 1 ? "mono" : (status.nch == 2 ? "stereo" : "multichannel");
        char format[64];
        std::snprintf(format, sizeof format, "%d Hz %d-bit %s", status.srate, status.bps, layout);
        if (!status.processed) {
            std::snprintf(line, sizeof line, "%s: passed through untouched.", format);
        } else {
            const long long delayMs = status.latencyFrames * 1000LL / status.srate;
            std::snprintf(line, sizeof line, "%s: processed%s; delay %lld ms.", format,
                          status.srate != 44100 ? ", resampled to 44.1 kHz" : "", delayMs);
        }
    }
    char shown[160] = {};
    GetDlgItemTextA(advanced, kFormatStatusId, shown, sizeof shown);
    if (std::strcmp(shown, line) != 0) SetDlgItemTextA(advanced, kFormatStatusId, line);
}

void refreshAdvancedWindow() {
    for (WindowEntry* entry = ModuleRegistry().windows; entry != nullptr; entry = entry->next) {
        if (entry->templateId == kAdvancedTemplate && entry->hwnd != nullptr) showFormatStatus(static_cast<HWND>(entry->hwnd));
    }
}

}  // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Shut-down frees the registry while it destroys the windows; whatever a dying window still
    // reports (focus changes, notifications) must not walk the lists any more.
    if (ModuleQuitting()) return FALSE;
    switch (message) {
        case WM_INITDIALOG: {
            WindowEntry* entry = reinterpret_cast<WindowEntry*>(lParam);
            if (entry == nullptr) return TRUE;
            BindWindow(*entry, hwnd);
            if (entry->templateId == kConsoleTemplate) InitConsole(hwnd);
            if (entry->templateId == kAdvancedTemplate) {
                CheckDlgButton(hwnd, kProcessAllFormatsId, processAllFormatsOn() ? BST_CHECKED : BST_UNCHECKED);
                showFormatStatus(hwnd);
            }
            if (isAnalysisTemplate(entry->templateId)) CreateOffscreenSurface(*entry);
            if (entry->templateId == kDocumentationTemplate) {
                LoadDocumentation(hwnd);
                return FALSE;  // the documentation window sets its own focus
            }
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int templateId = TemplateIdOf(ModuleRegistry(), hwnd);
            if (templateId == kConsoleTemplate) OnConsoleCommand(hwnd, id, HIWORD(wParam));
            if (templateId == kDocumentationTemplate && id == kFindButtonId) FindInDocumentation(hwnd);
            if (templateId == kAdvancedTemplate && id == kProcessAllFormatsId) {
                setProcessAllFormats(IsDlgButtonChecked(hwnd, id) == BST_CHECKED);
            }
            OnControlCommand(hwnd, id);
            return FALSE;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            OnSliderMoved(hwnd, reinterpret_cast<HWND>(lParam));
            return FALSE;
        case WM_TIMER:
            if (TemplateIdOf(ModuleRegistry(), hwnd) == kConsoleTemplate) {
                OnConsoleTimer(hwnd, wParam);
                refreshAdvancedWindow();
            }
            return FALSE;
        case WM_PAINT:
            if (TemplateIdOf(ModuleRegistry(), hwnd) == kResponsePlotTemplate) {
                // Drawn inside the paint cycle: drawn before it, the background erase that the
                // default painting does would wipe the plot until the next timer tick.
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(hwnd, &paint);
                if (dc != nullptr) DrawResponsePlot(dc);
                EndPaint(hwnd, &paint);
                return TRUE;
            }
            return FALSE;
        case WM_LBUTTONDOWN:
            if (TemplateIdOf(ModuleRegistry(), hwnd) == kResponsePlotTemplate) OnResponsePlotClick(hwnd);
            return FALSE;
        case WM_CLOSE:
            if (TemplateIdOf(ModuleRegistry(), hwnd) == kConsoleTemplate) RememberListSelection(hwnd);
            CloseConfigWindow(hwnd);
            return TRUE;
        default:
            return FALSE;
    }
}
