// Every window opens from the console with all its bound controls, laid out cleanly and showing the loaded values.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <set>

#include "tests/windows/expected_params.h"
#include "tests/windows/ui_fixture.h"

namespace uitest {
namespace {

void openEveryWindow(HWND consoleWindow) {
    for (const WindowInfo& info : kWindows) {
        if (info.openButton != 0) click(consoleWindow, info.openButton);
    }
}

std::string fontFace(HWND hwnd) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) return std::string();
    return description.lfFaceName;
}

struct ChildList {
    std::vector<HWND> children;
};

BOOL CALLBACK collectChild(HWND hwnd, LPARAM context) {
    reinterpret_cast<ChildList*>(context)->children.push_back(hwnd);
    return TRUE;
}

bool isGroupBox(HWND hwnd) {
    return className(hwnd) == "Button" && (GetWindowLongA(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The child's rectangle in client coordinates of its dialog.
RECT childRect(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

TEST_F(UiTest, ExpectedTableCoversEveryParameter) {
    int keyed = 0;
    for (const ExpectedParam& param : expectedParams()) keyed += param.key.empty() ? 0 : 1;
    EXPECT_EQ(expectedParams().size(), 348u);
    EXPECT_EQ(keyed, 285);
}

TEST_F(UiTest, EveryWindowOpensFromTheConsoleShowingTheStartupPreset) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    EXPECT_EQ(console(), nullptr) << "no console before Config when no settings file says so";
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    const std::string title = windowText(consoleWindow);
    EXPECT_EQ(title.rfind("Drelvant v1.20 ", 0), 0u) << title;
    EXPECT_GT(title.size(), std::string("Drelvant v1.20 ").size()) << "the title carries a notice";

    openEveryWindow(consoleWindow);
    for (const WindowInfo& info : kWindows) {
        SCOPED_TRACE(info.name);
        HWND window = findWindow(info.templateId);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(countWindows(info.templateId), 1);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetWindow(window, GW_OWNER), session.host()) << "owned by the host's window";
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        const LONG extended = GetWindowLongA(window, GWL_EXSTYLE);
        EXPECT_TRUE((style & WS_POPUP) != 0);
        EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
        EXPECT_TRUE((style & WS_SYSMENU) != 0) << "close box";
        EXPECT_EQ(style & WS_THICKFRAME, 0) << "fixed size";
        EXPECT_TRUE((extended & WS_EX_TOOLWINDOW) != 0);
        EXPECT_EQ(fontFace(window), info.templateId == 119 ? "Lucida Console" : "MS Sans Serif");
        if (info.templateId != 101) {
            EXPECT_EQ(windowText(window), info.title);
        }
    }

    // A second click brings the open window forward and creates no second one.
    for (const WindowInfo& info : kWindows) {
        if (info.openButton == 0) continue;
        click(consoleWindow, info.openButton);
        EXPECT_EQ(countWindows(info.templateId), 1) << info.name;
    }

    for (const ExpectedParam& param : expectedParams()) {
        SCOPED_TRACE(::testing::Message() << "template " << param.templateId << " control " << param.controlId << " "
                                          << param.key);
        HWND window = findWindow(param.templateId);
        ASSERT_NE(window, nullptr);
        HWND control = GetDlgItem(window, param.controlId);
        ASSERT_NE(control, nullptr);
        const LONG style = GetWindowLongA(control, GWL_STYLE);
        if (param.labelId != 0) {
            HWND label = GetDlgItem(window, param.labelId);
            ASSERT_NE(label, nullptr) << "label " << param.labelId;
            EXPECT_EQ(className(label), "Static");
        }
        const double value = asStored(param.startValue);
        switch (param.kind) {
            case kVertical:
            case kHorizontal:
                EXPECT_EQ(className(control), "msctls_trackbar32");
                EXPECT_EQ((style & TBS_VERT) != 0, param.kind == kVertical);
                EXPECT_TRUE((style & TBS_AUTOTICKS) != 0);
                EXPECT_EQ(SendMessageA(control, TBM_GETRANGEMIN, 0, 0), 0);
                EXPECT_EQ(SendMessageA(control, TBM_GETRANGEMAX, 0, 0), expectedRangeMax(param));
                EXPECT_EQ(SendMessageA(control, TBM_GETPOS, 0, 0), expectedPosition(param, value));
                EXPECT_EQ(controlText(window, param.labelId), expectedLabel(param, value));
                if (param.decimals < 0) {
                    EXPECT_EQ(SendMessageA(control, TBM_GETLINESIZE, 0, 0), 1);
                    EXPECT_EQ(SendMessageA(control, TBM_GETPAGESIZE, 0, 0), 100);
                }
                break;
            case kCheck:
                EXPECT_EQ(className(control), "Button");
                EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX);
                EXPECT_EQ(IsDlgButtonChecked(window, param.controlId), value != 0 ? BST_CHECKED : BST_UNCHECKED);
                break;
            case kMeter:
                EXPECT_EQ(className(control), "msctls_progress32");
                EXPECT_TRUE((style & PBS_VERTICAL) != 0);
                EXPECT_TRUE((style & PBS_SMOOTH) != 0);
                EXPECT_EQ(SendMessageA(control, PBM_GETRANGE, FALSE, 0), 1000);
                EXPECT_EQ(SendMessageA(control, PBM_GETRANGE, TRUE, 0), 0);
                // No audio yet: every meter shows 0, which is mid-scale on the dynamic equaliser's.
                EXPECT_EQ(SendMessageA(control, PBM_GETPOS, 0, 0),
                          static_cast<int>((0.0 - param.minValue) / (param.maxValue - param.minValue) * 1000.0));
                break;
        }
    }
    // The console's meter labels show their value without decimals.
    EXPECT_EQ(controlText(consoleWindow, kInputMeterLabel), "0");
    EXPECT_EQ(controlText(consoleWindow, kOutputMeterLabel), "0");
    EXPECT_EQ(controlText(consoleWindow, kDefaultLabel), "Default: F1");
    EXPECT_EQ(controlText(consoleWindow, kNameBox), "FM Stereo 1");
    EXPECT_EQ(listItemText(consoleWindow, kPresetList, selectedListItem(consoleWindow, kPresetList)),
              "F1:FM Stereo 1");
}

TEST_F(UiTest, ControlsStayInsideTheirWindowsAndDoNotOverlap) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    openEveryWindow(consoleWindow);
    for (const WindowInfo& info : kWindows) {
        SCOPED_TRACE(info.name);
        HWND window = findWindow(info.templateId);
        ASSERT_NE(window, nullptr);
        RECT client{};
        GetClientRect(window, &client);
        ChildList list;
        EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&list));
        for (HWND child : list.children) {
            const RECT rect = childRect(window, child);
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
                << "control " << GetDlgCtrlID(child) << " \"" << windowText(child) << "\" is cut off";
        }
        for (std::size_t a = 0; a < list.children.size(); ++a) {
            if (isGroupBox(list.children[a])) continue;
            for (std::size_t b = a + 1; b < list.children.size(); ++b) {
                if (isGroupBox(list.children[b])) continue;
                RECT overlap;
                const RECT first = childRect(window, list.children[a]);
                const RECT second = childRect(window, list.children[b]);
                EXPECT_FALSE(IntersectRect(&overlap, &first, &second))
                    << "controls " << GetDlgCtrlID(list.children[a]) << " \"" << windowText(list.children[a])
                    << "\" and " << GetDlgCtrlID(list.children[b]) << " \"" << windowText(list.children[b])
                    << "\" overlap";
            }
        }
    }
}

// Size in dialog units and number of controls of every window, captions, scale marks, group
// boxes and separators included.
struct TemplateShape {
    int templateId;
    int width, height;
    std::size_t controls;
};

const TemplateShape kTemplateShapes[] = {
    {101, 339, 281, 78}, {103, 343, 119, 47}, {104, 72, 158, 10},  {105, 248, 107, 0},   {106, 248, 107, 0},
    {107, 248, 107, 0},  {108, 190, 119, 24}, {109, 393, 86, 52},  {110, 297, 402, 137}, {111, 177, 330, 56},
    {112, 297, 265, 94}, {113, 297, 340, 116}, {114, 33, 86, 4},   {115, 206, 86, 26},   {116, 151, 86, 14},
    {117, 33, 86, 4},    {118, 191, 86, 22},  {119, 342, 271, 4},  {120, 297, 226, 84},  {121, 297, 189, 47},
    {122, 285, 86, 33},
};

TEST_F(UiTest, EveryWindowHasTheSizeAndControlCountOfItsLayoutTable) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    openEveryWindow(consoleWindow);
    std::set<int> checked;
    for (const TemplateShape& shape : kTemplateShapes) {
        SCOPED_TRACE(shape.templateId);
        HWND window = findWindow(shape.templateId);
        ASSERT_NE(window, nullptr);
        ChildList list;
        EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&list));
        EXPECT_EQ(list.children.size(), shape.controls);
        RECT client{};
        GetClientRect(window, &client);
        RECT size = {0, 0, shape.width, shape.height};
        MapDialogRect(window, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        checked.insert(shape.templateId);
    }
    for (const WindowInfo& info : kWindows) EXPECT_EQ(checked.count(info.templateId), 1u) << info.name;
}

TEST_F(UiTest, ConsoleMatchesItsLayoutTable) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    HWND consoleWindow = console();
    ASSERT_NE(consoleWindow, nullptr);
    struct Placed {
        int id;
        const char* className;
        const char* text;
        int x, y, width, height;
    };
    const Placed placed[] = {
        {1005, "ListBox", nullptr, 6, 17, 78, 203},      {1042, "Static", nullptr, 6, 223, 78, 11},
        {1003, "Button", "Load", 6, 237, 37, 11},        {1004, "Button", "Save", 46, 237, 37, 11},
        {1008, "Button", "Delete", 6, 250, 37, 11},      {1010, "Button", "Default", 46, 250, 37, 11},
        {1023, "Static", nullptr, 6, 264, 78, 11},       {1009, "Edit", nullptr, 97, 14, 60, 12},
        {1001, "Button", "Bypass All", 162, 15, 48, 11}, {1048, "Button", "Advanced", 213, 14, 41, 11},
        {1038, "Button", "Active", 181, 36, 37, 11},     {1039, "Button", "Open...", 221, 36, 33, 11},
        {1014, "Button", "Active", 181, 258, 37, 11},    {1049, "Static", nullptr, 153, 91, 22, 11},
        {1050, "msctls_trackbar32", nullptr, 177, 88, 82, 18},
        {1044, "Static", nullptr, 153, 241, 22, 11},     {1043, "msctls_trackbar32", nullptr, 177, 238, 82, 18},
        {1006, "msctls_progress32", nullptr, 280, 21, 18, 87},
        {1007, "msctls_progress32", nullptr, 306, 21, 18, 87},
        {1030, "Static", nullptr, 280, 108, 18, 9},      {1031, "Static", nullptr, 306, 108, 18, 9},
        {1047, "Static", nullptr, 280, 120, 44, 11},     {1011, "Button", "Test Tones", 277, 155, 48, 11},
        {1012, "Button", "Spectrum", 277, 168, 48, 11},  {1013, "Button", "Oscilloscope", 277, 181, 48, 11},
        {1015, "Button", "Frq Resp.", 277, 194, 48, 11}, {1051, "Button", "Go To Website", 270, 238, 63, 16},
        {1037, "Button", "Help / About", 270, 259, 63, 16},
    };
    for (const Placed& p : placed) {
        SCOPED_TRACE(p.id);
        HWND control = GetDlgItem(consoleWindow, p.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(className(control), p.className);
        if (p.text != nullptr) {
            EXPECT_EQ(windowText(control), p.text);
        }
        // The dialog manager converts position and size separately.
        RECT expected = {p.x, p.y, p.width, p.height};
        MapDialogRect(consoleWindow, &expected);
        const RECT actual = childRect(consoleWindow, control);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        if (p.id != kPresetList) {  // the list box keeps to whole items
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
    }
    ChildList every;  // the table's controls plus captions, group boxes and the one separator
    EnumChildWindows(consoleWindow, collectChild, reinterpret_cast<LPARAM>(&every));
    EXPECT_EQ(every.children.size(), 78u);
    const LONG listStyle = GetWindowLongA(GetDlgItem(consoleWindow, kPresetList), GWL_STYLE);
    EXPECT_TRUE((listStyle & LBS_NOTIFY) != 0);
    EXPECT_EQ(listStyle & LBS_SORT, 0);
    EXPECT_TRUE((listStyle & WS_VSCROLL) != 0);
    EXPECT_EQ(SendDlgItemMessageA(consoleWindow, kNameBox, EM_GETLIMITTEXT, 0, 0), 16);
    const LONG valueLabelStyle = GetWindowLongA(GetDlgItem(consoleWindow, 1049), GWL_STYLE);
    EXPECT_EQ(valueLabelStyle & SS_TYPEMASK, SS_CENTER);
    EXPECT_TRUE((valueLabelStyle & SS_SUNKEN) != 0);
    EXPECT_TRUE((valueLabelStyle & SS_NOTIFY) != 0);
    RECT client{};
    GetClientRect(consoleWindow, &client);
    RECT size = {0, 0, 339, 281};
    MapDialogRect(consoleWindow, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
}

TEST_F(UiTest, DocumentationSearchBoxTakesSixtyFourCharacters) {
    PluginSession session;
    ASSERT_TRUE(session.ready());
    session.config();
    click(console(), 1037);
    HWND documentation = findWindow(119);
    ASSERT_NE(documentation, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(documentation, 1072, EM_GETLIMITTEXT, 0, 0), 64);
    EXPECT_EQ(windowText(GetDlgItem(documentation, 1073)), "Go");
    const LONG textStyle = GetWindowLongA(GetDlgItem(documentation, 1071), GWL_STYLE);
    EXPECT_TRUE((textStyle & ES_MULTILINE) != 0);
    EXPECT_TRUE((textStyle & ES_READONLY) != 0);
}

}  // namespace uitest
