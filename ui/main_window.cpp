// The Windows program: WinMain, the main dialog, OPEN FILE and the display of the six results.
#include "analysis/analysis.h"
#include "ui/resource.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#ifdef __i386__
#include <float.h>
#endif

static HWND main_dialog_handle = nullptr;
// Holds the longest "%.3f" text of a double: 309 integer digits, sign, point and three decimals.
static char result_text[320];

static const int FILE_NAME_SIZE = 260;
static const char FILE_FILTER[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
static const char HELP_DOCUMENT[] = "readme.html";

// The engine's read-error warning: a message box with no owner. The engine exits afterwards.
static void show_warning(const char* caption, const char* text)
{
    MessageBoxA(nullptr, text, caption, MB_ICONEXCLAMATION);
}

static void show_int(int box, int value)
{
    std::snprintf(result_text, sizeof result_text, "%d", value);
    SetDlgItemTextA(main_dialog_handle, box, result_text);
}

static void show_real(int box, double value)
{
    std::snprintf(result_text, sizeof result_text, "%.3f", value);
    SetDlgItemTextA(main_dialog_handle, box, result_text);
}

// Writes the six results into their boxes, one at a time in the window's reading order.
static void show_results(const AnalysisResult& result)
{
    show_int(IDC_STATIONS, static_cast<int>(result.stations));
    show_real(IDC_MEAN, static_cast<double>(result.observed_mean));
    show_real(IDC_DISTANCE, static_cast<double>(result.observed_distance));
    show_real(IDC_SHUFFLE_DISTANCE, static_cast<double>(result.average_shuffle_distance));
    show_real(IDC_PATCHINESS, result.index_of_patchiness);
    show_real(IDC_PROBABILITY, result.probability);
}

// Lets the user choose a station file, analyses it and shows the results. A cancelled or failed
// choice changes nothing; a file that cannot be read ends the process inside run_analysis.
static void open_and_analyse(HWND dialog)
{
    char file_name[FILE_NAME_SIZE];
    std::memset(file_name, 0, sizeof file_name);
    OPENFILENAMEA request;
    std::memset(&request, 0, sizeof request);
    // The record's earlier size (76 bytes on 32-bit Windows), without the three trailing fields.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = dialog;
    request.lpstrFilter = FILE_FILTER;
    request.nFilterIndex = 0;
    request.lpstrFile = file_name;
    request.nMaxFile = FILE_NAME_SIZE;
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    request.lpstrDefExt = "txt";
    if (!GetOpenFileNameA(&request)) return;

    show_results(run_analysis(file_name));
}

// Opens the help document that lies beside the program. The current directory is no guide: the
// open-file dialog moves it to the folder of the file last chosen. A missing document, or a path
// too long to hold, is ignored without a word.
static void open_help()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;  // failed, or truncated
    char* separator = std::strrchr(path, '\\');
    if (separator == nullptr) return;
    size_t folder_length = static_cast<size_t>(separator + 1 - path);
    if (folder_length + sizeof HELP_DOCUMENT > sizeof path) return;
    std::memcpy(separator + 1, HELP_DOCUMENT, sizeof HELP_DOCUMENT);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return;
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

// The main dialog's procedure: icons and empty boxes at start, the three commands, the close.
static INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SetDlgItemTextA(dialog, IDC_STATIONS, "");
        SetDlgItemTextA(dialog, IDC_MEAN, "");
        SetDlgItemTextA(dialog, IDC_DISTANCE, "");
        SetDlgItemTextA(dialog, IDC_SHUFFLE_DISTANCE, "");
        SetDlgItemTextA(dialog, IDC_PATCHINESS, "");
        main_dialog_handle = dialog;
        return TRUE;  // the system puts the focus on the first tab stop, OPEN FILE
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDHELP: open_help(); break;
        case IDC_OPEN_FILE: open_and_analyse(dialog); break;
        case IDC_EXIT: EndDialog(dialog, 0); break;
        default: break;  // IDOK, IDCANCEL (Escape) and the boxes' notifications do nothing
        }
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}

// Runs the main dialog; its end value (0, or -1 when it cannot be created) is the exit status.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
#ifdef __i386__
    _controlfp(_PC_53, _MCW_PC);  // double precision on the x87 unit, as the engine expects
#endif
    set_warning_seam(show_warning);
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc, 0));
}
