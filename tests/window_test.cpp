// End-to-end tests of veltrass.exe: starts the real program and drives it as a user would, only
// through the platform's window API (run under Wine on a private display by `make test`).
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* const TITLE = "Veltrass 1.0";
const int FILE_NAME_COMBO = 0x47C;  // cmb13, the name field of the open-file dialog
const int FILE_TYPE_COMBO = 0x470;  // cmb1, the file types
const int RESULT_BOXES[] = {IDC_STATIONS, IDC_MEAN, IDC_DISTANCE, IDC_SHUFFLE_DISTANCE,
                            IDC_PATCHINESS, IDC_PROBABILITY};
const DWORD WAIT_MS = 15000;

using Texts = std::vector<std::string>;

std::string windows_path(const std::string& linux_path)
{
    std::string path = "Z:" + linux_path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = WAIT_MS)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout_ms) return false;
        Sleep(20);
    }
    return true;
}

std::string text_of(HWND window)
{
    char text[1024] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string class_of(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string read_file(const std::string& path)
{
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[512];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    std::fclose(file);
    return bytes;
}

// A fresh folder under the temporary folder, for one test's files.
std::string make_folder(const char* purpose)
{
    static int serial = 0;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%sveltrass-%lu-%d-%s", base, GetCurrentProcessId(), serial++,
                  purpose);
    CreateDirectoryA(name, nullptr);
    return name;
}

struct FindRequest {
    DWORD process;
    HWND owner;  // the window's owner must be this one (null: no owner)
    const char* title;  // null: any title
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM context)
{
    FindRequest* request = reinterpret_cast<FindRequest*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != request->process || !IsWindowVisible(window)) return TRUE;
    if (class_of(window) != "#32770" || GetWindow(window, GW_OWNER) != request->owner) return TRUE;
    if (request->title != nullptr && text_of(window) != request->title) return TRUE;
    request->found = window;
    return FALSE;
}

// A visible dialog box of `process` with the given owner (and title, when given).
HWND find_dialog(DWORD process, HWND owner, const char* title)
{
    FindRequest request = {process, owner, title, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// One running veltrass.exe and its main dialog.
struct Program {
    PROCESS_INFORMATION process = {};
    HWND dialog = nullptr;

    ~Program()
    {
        if (process.hProcess == nullptr) return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }

    DWORD id() const { return process.dwProcessId; }
    HWND item(int id) const { return GetDlgItem(dialog, id); }

    bool running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit status, once the process has ended; -2 when it does not end in time.
    long exit_status()
    {
        if (WaitForSingleObject(process.hProcess, WAIT_MS) != WAIT_OBJECT_0) return -2;
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        return static_cast<long>(static_cast<LONG>(status));
    }

    Texts results() const
    {
        Texts texts;
        for (int box : RESULT_BOXES) texts.push_back(text_of(item(box)));
        return texts;
    }

    HWND focus() const
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process.dwThreadId, &info);
        return info.hwndFocus;
    }

    void press(int button) const { PostMessageA(item(button), BM_CLICK, 0, 0); }

    // A key press as the focused control receives it; the dialog's loop handles dialog keys.
    void key(WPARAM virtual_key) const
    {
        HWND target = focus();
        PostMessageA(target, WM_KEYDOWN, virtual_key, 1);
        PostMessageA(target, WM_KEYUP, virtual_key, static_cast<LPARAM>(0xC0000001u));
    }

    // Waits until the program's thread is back in a message loop: it handles a sent message only
    // there, so whatever it was running (an analysis, say) has finished.
    void settle() const
    {
        DWORD_PTR ignored;
        SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    }

    bool focus_becomes(int id) const
    {
        return wait_until([&] { return GetDlgCtrlID(focus()) == id; }, 3000);
    }

    HWND open_file_dialog() const
    {
        HWND chooser = nullptr;
        wait_until([&] { return (chooser = find_dialog(id(), dialog, nullptr)) != nullptr; });
        return chooser;
    }

    // Presses OPEN FILE, chooses `path` in the open-file dialog and waits for the dialog to close.
    void choose(const std::string& path) const
    {
        press(IDC_OPEN_FILE);
        HWND chooser = open_file_dialog();
        ASSERT_NE(chooser, nullptr) << "no open-file dialog";
        SendMessageA(GetDlgItem(chooser, FILE_NAME_COMBO), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); })) << "open-file dialog stays";
    }

    // Chooses `path` and returns the six texts once the analysis has finished.
    Texts analyse(const std::string& path) const
    {
        choose(path);
        settle();
        return results();
    }
};

// Starts veltrass.exe (by default the one built beside the tests) in `folder` and waits for its
// main dialog.
void start(Program& program, const std::string& exe = windows_path(VELTRASS_EXE),
           const std::string& folder = "")
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.empty() ? nullptr : folder.c_str(), &startup,
                               &program.process))
        << exe << " error " << GetLastError();
    ASSERT_TRUE(wait_until([&] {
        return (program.dialog = find_dialog(program.id(), nullptr, TITLE)) != nullptr;
    })) << "no main window";
    program.settle();
}

long exit_by(Program& program, const std::function<void()>& action)
{
    action();
    return program.exit_status();
}

// Dialog units of the main dialog, from its client area of 276 x 182 units.
struct DialogUnits {
    int base_x, base_y;
    // The system converts the corner and the size each on its own, as MapDialogRect does.
    RECT rect(int x, int y, int cx, int cy) const
    {
        int left = MulDiv(x, base_x, 4), top = MulDiv(y, base_y, 8);
        return {left, top, left + MulDiv(cx, base_x, 4), top + MulDiv(cy, base_y, 8)};
    }
};

DialogUnits units_of(HWND dialog)
{
    RECT client;
    GetClientRect(dialog, &client);
    return {client.right * 4 / 276, (client.bottom * 8 + 91) / 182};
}

RECT rect_in_dialog(HWND control, HWND dialog)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string describe(const RECT& r)
{
    char text[96];
    std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

struct ControlRow {
    int id;
    const char* window_class;
    const char* text;
    LONG style;
    int x, y, cx, cy;
};

const LONG LABEL = 0x50020000, BOX = 0x50810880, BUTTON = 0x50010000, BANNER = 0x5000000E;

const ControlRow TEMPLATE[] = {
    {IDC_OPEN_FILE, "Button", "OPEN FILE", 0x50010001, 219, 79, 50, 14},
    {0xFFFF, "Static", "Number of Stations:", LABEL, 7, 82, 63, 8},
    {0xFFFF, "Static", "Observed Mean:", LABEL, 7, 98, 54, 8},
    {0xFFFF, "Static", "Observed Distance:", LABEL, 7, 114, 64, 8},
    {0xFFFF, "Static", "Average Shuffle Distance:", LABEL, 7, 130, 84, 8},
    {0xFFFF, "Static", "Index of patchiness:", LABEL, 7, 146, 64, 8},
    {IDC_STATIONS, "Edit", "", BOX, 95, 79, 40, 14},
    {IDC_MEAN, "Edit", "", BOX, 95, 95, 40, 14},
    {IDC_DISTANCE, "Edit", "", BOX, 95, 111, 40, 14},
    {IDC_SHUFFLE_DISTANCE, "Edit", "", BOX, 95, 127, 40, 14},
    {IDC_PATCHINESS, "Edit", "", BOX, 95, 143, 40, 14},
    // The banner: its text is the bitmap's number (0xFF, then 102), its size the bitmap's.
    {0xFFFF, "Static", "\xFF" "f", BANNER, 7, 7, 265, 71},
    {IDC_EXIT, "Button", "EXIT", BUTTON, 219, 111, 50, 14},
    {IDC_PROBABILITY, "Edit", "", BOX, 95, 161, 40, 14},
    {0xFFFF, "Static", "Probability:", LABEL, 7, 161, 35, 8},
    {IDHELP, "Button", "HELP", BUTTON, 219, 95, 50, 14},
};

TEST(MainWindow, StartsAsTheTemplateSays)
{
    Program program;
    ASSERT_NO_FATAL_FAILURE(start(program));
    HWND dialog = program.dialog;

    EXPECT_EQ(text_of(dialog), TITLE);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    // The system shows the dialog and adds WS_CLIPSIBLINGS and DS_3DLOOK to every dialog.
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style, static_cast<LONG>(0x80C800C0 | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK))
        << std::hex << style;
    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(program.results(), Texts(6, ""));
    EXPECT_EQ(program.focus(), program.item(IDC_OPEN_FILE));

    DialogUnits units = units_of(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, MulDiv(276, units.base_x, 4));
    EXPECT_EQ(client.bottom, MulDiv(182, units.base_y, 8));

    HWND control = GetWindow(dialog, GW_CHILD);
    for (const ControlRow& row : TEMPLATE) {
        SCOPED_TRACE(std::string(row.window_class) + " \"" + row.text + "\" " + std::to_string(row.id));
        ASSERT_NE(control, nullptr) << "fewer controls than the template";
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        EXPECT_STRCASEEQ(class_of(control).c_str(), row.window_class);
        EXPECT_EQ(text_of(control), row.text);
        // In a DS_3DLOOK dialog the system draws a border as a sunken client edge, and every
        // control of a dialog gets WS_EX_NOPARENTNOTIFY.
        LONG style = row.style, extended = WS_EX_NOPARENTNOTIFY;
        if (style & WS_BORDER) {
            style &= ~WS_BORDER;
            extended |= WS_EX_CLIENTEDGE;
        }
        EXPECT_EQ(GetWindowLongA(control, GWL_STYLE), style) << std::hex
                                                              << GetWindowLongA(control, GWL_STYLE);
        EXPECT_EQ(GetWindowLongA(control, GWL_EXSTYLE), extended);
        RECT expected = units.rect(row.x, row.y, row.cx, row.cy);
        if (row.style == BANNER) {
            expected.right = expected.left + 390;
            expected.bottom = expected.top + 115;
        }
        EXPECT_EQ(describe(rect_in_dialog(control, dialog)), describe(expected));
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template";

    EXPECT_EQ(exit_by(program, [&] { program.press(IDC_EXIT); }), 0);
}

// Reads a NUL-terminated UTF-16 string, or an ordinal (0xFFFF, number) as "#number", of a
// dialog template and moves past it.
std::string template_string(const WORD*& p)
{
    if (*p == 0xFFFF) {
        std::string ordinal = "#" + std::to_string(p[1]);
        p += 2;
        return ordinal;
    }
    std::string text;
    while (*p) text += static_cast<char>(*p++);
    p++;
    return text;
}

// The resources as any program reads them from the file.
TEST(MainWindow, ShipsItsResources)
{
    HMODULE module = LoadLibraryExA(windows_path(VELTRASS_EXE).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);

    // The classic dialog template, word by word.
    HRSRC dialog_info = FindResourceA(module, MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5));
    ASSERT_NE(dialog_info, nullptr);
    const DLGTEMPLATE* dialog =
        static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, dialog_info)));
    EXPECT_EQ(dialog->style, 0x80C800C0u);
    EXPECT_EQ(dialog->dwExtendedStyle, 0u);
    ASSERT_EQ(dialog->cdit, 16);
    EXPECT_EQ(describe({dialog->x, dialog->y, dialog->cx, dialog->cy}), "(0,0)-(276,182)");
    const WORD* p = reinterpret_cast<const WORD*>(dialog + 1);
    EXPECT_EQ(template_string(p), "") << "no menu";
    EXPECT_EQ(template_string(p), "") << "the standard dialog class";
    EXPECT_EQ(template_string(p), TITLE);
    EXPECT_EQ(*p++, 8);
    EXPECT_EQ(template_string(p), "MS Sans Serif");
    for (const ControlRow& row : TEMPLATE) {
        SCOPED_TRACE(std::string(row.window_class) + " \"" + row.text + "\" " + std::to_string(row.id));
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        const DLGITEMTEMPLATE* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        EXPECT_EQ(item->style, static_cast<DWORD>(row.style));
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(describe({item->x, item->y, item->cx, item->cy}),
                  describe({row.x, row.y, row.cx, row.cy}));
        EXPECT_EQ(item->id, row.id);
        p = reinterpret_cast<const WORD*>(item + 1);
        EXPECT_STRCASEEQ(template_string(p).c_str(), row.window_class);
        std::string text = template_string(p);
        EXPECT_EQ(text, row.style == BANNER ? "#102" : row.text);
        p += 1 + *p / 2;  // creation data
    }

    HRSRC banner = FindResourceA(module, MAKEINTRESOURCEA(IDB_BANNER), MAKEINTRESOURCEA(2));
    ASSERT_NE(banner, nullptr);
    const BITMAPINFOHEADER* bitmap =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, banner)));
    EXPECT_EQ(bitmap->biWidth, 390);
    EXPECT_EQ(bitmap->biHeight, 115);  // positive: rows stored bottom-up
    EXPECT_EQ(bitmap->biBitCount, 24);
    EXPECT_EQ(bitmap->biCompression, static_cast<DWORD>(BI_RGB));

#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
    struct Group {
        WORD reserved, type, count;
        GroupEntry entries[1];
    };
#pragma pack(pop)
    HRSRC group_info = FindResourceA(module, MAKEINTRESOURCEA(IDI_PROGRAM), MAKEINTRESOURCEA(14));
    ASSERT_NE(group_info, nullptr);
    const Group* group = static_cast<const Group*>(LockResource(LoadResource(module, group_info)));
    ASSERT_EQ(group->count, 1);
    EXPECT_EQ(group->entries[0].width, 32);
    EXPECT_EQ(group->entries[0].height, 32);
    EXPECT_EQ(group->entries[0].bits, 24);
    EXPECT_EQ(group->entries[0].id, 1);

    HRSRC image_info = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3));
    ASSERT_NE(image_info, nullptr);
    const BITMAPINFOHEADER* image =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, image_info)));
    ASSERT_EQ(image->biWidth, 32);
    ASSERT_EQ(image->biHeight, 64);  // colour rows, then the mask
    ASSERT_EQ(image->biBitCount, 24);
    const BYTE* colour = reinterpret_cast<const BYTE*>(image + 1);
    const BYTE* mask = colour + 32 * 32 * 3;
    int green = 0, white = 0, opaque = 0;
    for (int i = 0; i < 32 * 32; i++) {
        const BYTE* bgr = colour + 3 * i;
        if (bgr[0] == 255 && bgr[1] == 255 && bgr[2] == 255) white++;
        if (bgr[1] > 100 && bgr[1] > bgr[0] + 60 && bgr[1] > bgr[2] + 60) green++;
        if ((mask[(i / 32) * 4 + (i % 32) / 8] & (0x80 >> (i % 8))) == 0) opaque++;
    }
    EXPECT_EQ(opaque, 32 * 32);
    EXPECT_GT(white, 32 * 32 / 3) << "a white ground";
    EXPECT_GT(green, 32 * 32 / 8) << "a green spiral";
    FreeLibrary(module);
}

struct ResultCase {
    const char* name;
    const char* bytes;
    Texts texts;  // the engine's record of the file, formatted "%d" and "%.3f"
};

// Files whose results do not depend on the clock.
TEST(MainWindow, ShowsTheResultsOfAChosenFile)
{
    const std::string folder = make_folder("results");
    const ResultCase cases[] = {
        {"two stations", "2\n3\n1\n", {"2", "2.000", "1.000", "1.000", "1.000", "1.000"}},
        {"a float widened exactly", "1\n2.0005\n", {"1", "2.000", "0.000", "0.000", "nan", "1.000"}},
        {"a negative count", "-5\n", {"-5", "-0.000", "0.000", "0.000", "nan", "1.000"}},
        {"texts wider than their boxes", "2\r\n3e38\r\n0\r\n",
         {"2", "150000000274887787888901997140572635136.000",
          "150000000274887787888901997140572635136.000", "inf", "0.000", "1.000"}},
    };
    Program program;
    ASSERT_NO_FATAL_FAILURE(start(program));
    for (const ResultCase& row : cases) {
        SCOPED_TRACE(row.name);
        std::string path = folder + "\\" + row.name + ".txt";
        write_file(path, row.bytes);
        EXPECT_EQ(program.analyse(path), row.texts);
    }
    EXPECT_EQ(exit_by(program, [&] { program.press(IDC_EXIT); }), 0);
}

TEST(MainWindow, OpenFileDialogCancelAndASecondAnalysis)
{
    const std::string folder = make_folder("choose");
    const std::string first = folder + "\\first.txt", second = folder + "\\second.txt";
    write_file(first, "2\n3\n1\n");
    write_file(second, "3\n0.3\n0\n0\n");  // only the last three results depend on the clock
    Program program;
    ASSERT_NO_FATAL_FAILURE(start(program));

    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round == 0 ? "cancel before any analysis" : "cancel after an analysis");
        Texts before = program.results();
        program.press(IDC_OPEN_FILE);
        HWND chooser = program.open_file_dialog();
        ASSERT_NE(chooser, nullptr);
        EXPECT_FALSE(IsWindowEnabled(program.dialog)) << "the open-file dialog is modal";
        HWND types = GetDlgItem(chooser, FILE_TYPE_COMBO);
        ASSERT_EQ(SendMessageA(types, CB_GETCOUNT, 0, 0), 2);
        // Read in the wide form: Wine passes the ANSI form of this message between processes
        // as wide text.
        wchar_t type[128];
        SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
        EXPECT_STREQ(type, L"Text Files (*.txt)");
        SendMessageW(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(type));
        EXPECT_STREQ(type, L"All Files (*.*)");
        EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }));
        program.settle();
        EXPECT_TRUE(IsWindowEnabled(program.dialog));
        EXPECT_EQ(program.results(), before);
        if (round == 0) {
            EXPECT_EQ(program.analyse(first), Texts({"2", "2.000", "1.000", "1.000", "1.000", "1.000"}));
        }
    }

    Texts old = program.results();
    Texts now = program.analyse(second);
    for (size_t i = 0; i < now.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_NE(now[i], old[i]) << "every box is replaced";
    }
    EXPECT_EQ(now[0], "3");
    EXPECT_EQ(now[1], "0.100");
    EXPECT_EQ(now[2], "0.300");
    // Shuffles put the 0.3 first, in the middle (0.2) or last; none reaches the observed 0.3.
    double average = std::atof(now[3].c_str()), index = std::atof(now[4].c_str());
    EXPECT_EQ(now[3].size(), 5u);
    EXPECT_EQ(now[4].size(), 5u);
    EXPECT_TRUE(average >= 0.2 && average < 0.3) << now[3];
    EXPECT_TRUE(index > 1.0 && index <= 1.5) << now[4];
    EXPECT_EQ(now[5], "0.001");
    EXPECT_EQ(exit_by(program, [&] { program.press(IDC_EXIT); }), 0);
}

struct ReadErrorCase {
    const char* name;
    const char* bytes;
    bool held_without_sharing;
    bool analyse_first;
    const char* text;
};

TEST(MainWindow, ReadErrorsWarnAndEndWithStatusOne)
{
    const std::string folder = make_folder("errors");
    const std::string good = folder + "\\good.txt";
    write_file(good, "2\n3\n1\n");
    const ReadErrorCase cases[] = {
        {"count above 1000", "1001\n1\n2\n", false, false, "Too much data for program!"},
        {"held open by another program", "2\n3\n1\n", true, false, "Can't open file!"},
        {"no count, after an analysis", "Station values\n1\n2\n", false, true,
         "Can't read station count!"},
    };
    for (const ReadErrorCase& row : cases) {
        SCOPED_TRACE(row.name);
        std::string path = folder + "\\" + row.name + ".txt";
        write_file(path, row.bytes);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.held_without_sharing) {
            held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        Program program;
        ASSERT_NO_FATAL_FAILURE(start(program));
        Texts shown = row.analyse_first ? program.analyse(good) : program.results();
        ASSERT_NO_FATAL_FAILURE(program.choose(path));

        HWND box = nullptr;
        ASSERT_TRUE(wait_until([&] { return (box = find_dialog(program.id(), nullptr, "uh oh...")) != nullptr; }))
            << "no warning box";
        std::vector<HWND> buttons;
        std::string message;
        bool icon = false;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            LONG style = GetWindowLongA(child, GWL_STYLE);
            if (class_of(child) == "Button" && IsWindowVisible(child)) buttons.push_back(child);
            if (class_of(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) icon = true;
            else if (class_of(child) == "Static" && !text_of(child).empty()) message = text_of(child);
        }
        EXPECT_EQ(message, row.text);
        EXPECT_TRUE(icon) << "the exclamation-mark icon";
        ASSERT_EQ(buttons.size(), 1u);
        EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDOK);
        EXPECT_TRUE(IsWindowEnabled(program.dialog)) << "the box has no owner";
        EXPECT_EQ(program.results(), shown);
        EXPECT_EQ(exit_by(program, [&] { PostMessageA(buttons[0], BM_CLICK, 0, 0); }), 1);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    }
}

TEST(MainWindow, EndsWithStatusZero)
{
    struct Ending {
        const char* name;
        std::function<void(Program&)> action;
    };
    const Ending endings[] = {
        {"EXIT", [](Program& p) { p.press(IDC_EXIT); }},
        {"the close command", [](Program& p) { PostMessageA(p.dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](Program& p) {
             PostMessageA(p.focus(), WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(0x20000001u));
         }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        Program program;
        ASSERT_NO_FATAL_FAILURE(start(program));
        EXPECT_EQ(exit_by(program, [&] { ending.action(program); }), 0);
    }
}

TEST(MainWindow, Keyboard)
{
    Program program;
    ASSERT_NO_FATAL_FAILURE(start(program));

    const int tab_order[] = {IDC_STATIONS, IDC_MEAN, IDC_DISTANCE, IDC_SHUFFLE_DISTANCE,
                             IDC_PATCHINESS, IDC_EXIT, IDC_PROBABILITY, IDHELP, IDC_OPEN_FILE};
    for (int id : tab_order) {
        SCOPED_TRACE(id);
        program.key(VK_TAB);
        EXPECT_TRUE(program.focus_becomes(id)) << GetDlgCtrlID(program.focus());
    }

    // Keys are handled in order: once the Tab after Escape has moved the focus, Escape was seen.
    program.key(VK_ESCAPE);
    program.key(VK_TAB);
    EXPECT_TRUE(program.focus_becomes(IDC_STATIONS));
    EXPECT_TRUE(program.running());
    EXPECT_TRUE(IsWindowVisible(program.dialog)) << "Escape leaves the window open";
    for (int i = 0; i < 8; i++) program.key(VK_TAB);  // around to OPEN FILE, which Enter presses
    ASSERT_TRUE(program.focus_becomes(IDC_OPEN_FILE));

    program.key(VK_RETURN);
    HWND chooser = program.open_file_dialog();
    ASSERT_NE(chooser, nullptr) << "Enter presses OPEN FILE";
    PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }));
    EXPECT_EQ(exit_by(program, [&] { program.press(IDC_EXIT); }), 0);
}

std::string help_record_path()
{
    static const std::string path = make_folder("help") + "\\opened.txt";
    return path;
}

// Makes the shell open .html documents with this test program, which records what it was given.
void record_html_opening()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --record-help \"%1\"";
    const struct {
        const char* key;
        const char* value;
    } entries[] = {{"Software\\Classes\\.html", "htmlfile"},
                   {"Software\\Classes\\htmlfile\\shell\\open\\command", command.c_str()}};
    for (const auto& entry : entries) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.key, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value),
                       static_cast<DWORD>(std::strlen(entry.value) + 1));
        RegCloseKey(key);
    }
    SetEnvironmentVariableA("VELTRASS_HELP_RECORD", help_record_path().c_str());
}

TEST(MainWindow, HelpOpensTheDocumentBesideTheProgram)
{
    ASSERT_NO_FATAL_FAILURE(record_html_opening());
    for (bool with_document : {true, false}) {
        SCOPED_TRACE(with_document ? "readme.html beside the program" : "no readme.html");
        // The program in a folder of its own; the user's data, with a readme.html of its own, in
        // another folder, which is also where the program starts.
        const std::string program_folder = make_folder("program");
        const std::string data_folder = make_folder("data");
        const std::string exe = program_folder + "\\veltrass.exe";
        ASSERT_TRUE(CopyFileA(windows_path(VELTRASS_EXE).c_str(), exe.c_str(), FALSE));
        if (with_document) write_file(program_folder + "\\readme.html", "<p>help</p>");
        write_file(data_folder + "\\readme.html", "<p>not the help</p>");
        write_file(data_folder + "\\stations.txt", "2\n3\n1\n");
        DeleteFileA(help_record_path().c_str());

        Program program;
        ASSERT_NO_FATAL_FAILURE(start(program, exe, data_folder));
        for (int press = 0; press < 2; press++) {
            SCOPED_TRACE(press == 0 ? "before choosing a file" : "after choosing a file");
            if (press == 1) program.analyse(data_folder + "\\stations.txt");
            Texts shown = program.results();
            program.press(IDHELP);
            program.settle();
            if (with_document) {
                ASSERT_TRUE(wait_until([&] { return !read_file(help_record_path()).empty(); }))
                    << "the shell was not asked to open the document";
                EXPECT_STRCASEEQ(read_file(help_record_path()).c_str(),
                                 (program_folder + "\\readme.html").c_str());
                DeleteFileA(help_record_path().c_str());
            } else {
                Sleep(1000);
                EXPECT_EQ(read_file(help_record_path()), "") << "nothing is opened";
            }
            EXPECT_TRUE(program.running());
            EXPECT_EQ(program.results(), shown);
        }
        EXPECT_EQ(exit_by(program, [&] { program.press(IDC_EXIT); }), 0);
    }
}

// Saves the screen's pixels under `window` as a 24-bit bitmap file.
bool save_window_pixels(HWND window, const std::string& path)
{
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD row = static_cast<DWORD>((width * 3 + 3) & ~3);
    DWORD image = row * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + image;
    std::FILE* out = copied ? std::fopen(path.c_str(), "wb") : nullptr;
    bool saved = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                 std::fwrite(bits, image, 1, out) == 1;
    if (out != nullptr && std::fclose(out) != 0) saved = false;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// The README's picture: the window after an analysis of `station_file`, saved to `image`.
int take_screenshot(const std::string& station_file, const std::string& image)
{
    Program program;
    start(program);
    if (program.dialog == nullptr) return 1;
    program.analyse(station_file);
    SetForegroundWindow(program.dialog);
    program.settle();
    Sleep(1000);  // lets the window repaint after the analysis
    bool saved = save_window_pixels(program.dialog, image);
    program.press(IDC_EXIT);
    return saved && program.exit_status() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--screenshot") == 0) return take_screenshot(argv[2], argv[3]);
    // Started by the shell in place of a browser: records the document it was asked to open.
    if (argc == 3 && std::strcmp(argv[1], "--record-help") == 0) {
        const char* record = std::getenv("VELTRASS_HELP_RECORD");
        std::FILE* file = record != nullptr ? std::fopen(record, "wb") : nullptr;
        if (file == nullptr) return 1;
        std::fputs(argv[2], file);
        return std::fclose(file) == 0 ? 0 : 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
