// VardelSend: tells a running Vardel.exe what another program may tell it,
// through window messages. See kUsage.
#include <string>

#include "app/resources/MainDialogTemplate.h"
#include "platform/win32/Utf8Text.h"

namespace {

using vardel::win32::Say;
using vardel::win32::Utf8FromWide;

constexpr wchar_t kUsage[] =
    L"usage: VardelSend exit | start | wait-step N | show | picture FILE.bmp\n"
    L"\n"
    L"  exit        the exit command 1001: Vardel writes the reset frame to the MCU\n"
    L"              and closes its window\n"
    L"  start       presses the window's one button (start upgrade, or finished,\n"
    L"              restart at the end) once it is enabled\n"
    L"  wait-step N waits until the window shows Step = N\n"
    L"  show        prints the window's place, its client area's size, the dialog\n"
    L"              units it was laid out with and what its labels show\n"
    L"  picture F   saves what the screen shows of the window as a 24-bit BMP file\n"
    L"\n"
    L"Exit status: 0 done, 1 no Vardel window (or it never got there), 2 usage.\n";

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kCaption[] = L"Vardel v4.0";
constexpr DWORD kPollMs = 20;
constexpr DWORD kFindWindowMs = 30000;
constexpr DWORD kButtonMs = 60000;
constexpr DWORD kStepMs = 600000;
constexpr int kTextUnits = 260;

enum ExitCode : int { kDone = 0, kNotThere = 1, kUsageError = 2 };

// Polls until done() holds or timeoutMs have passed.
template <typename Done>
bool Await(DWORD timeoutMs, Done done) {
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (::GetTickCount64() >= until) return false;
        ::Sleep(kPollMs);
    }
}

HWND FindVardel() {
    HWND window = nullptr;
    Await(kFindWindowMs,
          [&] { return (window = ::FindWindowW(kDialogClass, kCaption)) != nullptr; });
    return window;
}

std::wstring Text(HWND window, int control) {
    wchar_t text[kTextUnits] = {};
    ::GetWindowTextW(::GetDlgItem(window, control), text, kTextUnits);
    return text;
}

// A click, as the button itself reports it to its window. (BM_CLICK would
// have the button click itself, which fails while the window is not active.)
int PressStart(HWND window) {
    // The window is shown once it has set itself up; before that its button
    // is still as the template made it, or not made yet: the window may be
    // found while the dialog manager is still creating its controls.
    HWND button = nullptr;
    const bool pressable = Await(kButtonMs, [&] {
        button = ::GetDlgItem(window, vardel::IDC_START);
        return ::IsWindowVisible(window) != FALSE && button != nullptr &&
               ::IsWindowEnabled(button) != FALSE;
    });
    if (!pressable) return kNotThere;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(vardel::IDC_START, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return kDone;
}

int WaitForStep(HWND window, const wchar_t* step) {
    const std::wstring wanted = std::wstring(L"Step = ") + step;
    bool gone = false;
    const bool shown = Await(kStepMs, [&] {
        gone = ::IsWindow(window) == FALSE;
        return gone || Text(window, vardel::IDC_STEP) == wanted;
    });
    return shown && !gone ? kDone : kNotThere;
}

// The window as the screen shows it, frame and caption included.
int Picture(HWND window, const wchar_t* path) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* pixels = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &pixels, nullptr, 0);
    HGDIOBJ before = ::SelectObject(memory, bitmap);
    const bool copied =
        ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY) != FALSE;
    ::SelectObject(memory, before);
    const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER file{0x4D42, headers + imageBytes, 0, 0, headers};  // "BM"
    HANDLE out = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool saved =
        copied && out != INVALID_HANDLE_VALUE &&
        ::WriteFile(out, &file, sizeof file, &written, nullptr) != FALSE &&
        ::WriteFile(out, &format.bmiHeader, sizeof format.bmiHeader, &written, nullptr) != FALSE &&
        ::WriteFile(out, pixels, imageBytes, &written, nullptr) != FALSE;
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved ? kDone : kNotThere;
}

// The dialog's base units in pixels (a quarter of the average letter's width,
// an eighth of the font's height, times 4 and 8), read back from its largest
// control: its pixel size is its size in dialog units mapped by them. Another
// process cannot ask the dialog for its font or its units.
struct DialogUnits {
    int x = 0;
    int y = 0;
};

DialogUnits UnitsOf(HWND window) {
    const vardel::DialogUnitRect& size = vardel::kMainDialogControls[0].rect;  // the button
    RECT button{};
    ::GetWindowRect(::GetDlgItem(window, vardel::kMainDialogControls[0].id), &button);
    return {::MulDiv(button.right - button.left, 4, size.width),
            ::MulDiv(button.bottom - button.top, 8, size.height)};
}

// What a dialog started now is laid out against, as this program sees it: the
// DPI, the face the dialog font falls back to, its height and average letter
// width at 9 points, and the work area that keeps a window on the screen.
std::string LayoutHere() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    const HFONT font = ::CreateFontW(-::MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    const HGDIOBJ was = ::SelectObject(screen, font);
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(screen, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE letters{};
    ::GetTextExtentPoint32W(screen, kLetters, 52, &letters);
    ::SelectObject(screen, was);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return std::to_string(dpi) + " dpi, font " + Utf8FromWide(face) + " " +
           std::to_string(metrics.tmHeight) + " high, letters " +
           std::to_string((letters.cx / 26 + 1) / 2) + " wide, work area " +
           std::to_string(work.right - work.left) + "x" + std::to_string(work.bottom - work.top);
}

int Show(HWND window) {
    // The window is found by its caption before its controls are made.
    Await(kFindWindowMs, [&] { return ::GetDlgItem(window, vardel::IDC_START) != nullptr; });
    RECT frame{};
    ::GetWindowRect(window, &frame);
    Say("window: " + std::to_string(frame.left) + " " + std::to_string(frame.top) + " " +
        std::to_string(frame.right - frame.left) + " " + std::to_string(frame.bottom - frame.top));
    RECT client{};
    ::GetClientRect(window, &client);
    Say("client: " + std::to_string(client.right) + " " + std::to_string(client.bottom));
    const DialogUnits units = UnitsOf(window);
    const vardel::DialogUnitRect& laidOut = vardel::kMainDialogTemplate.rect;
    Say("units: " + std::to_string(units.x) + " " + std::to_string(units.y));
    Say("template: " + std::to_string(::MulDiv(laidOut.width, units.x, 4)) + " " +
        std::to_string(::MulDiv(laidOut.height, units.y, 8)));
    Say("layout: " + LayoutHere());
    Say("status: " + Utf8FromWide(Text(window, vardel::IDC_STATUS).c_str()));
    Say("percent: " + Utf8FromWide(Text(window, vardel::IDC_PERCENT).c_str()));
    Say("step: " + Utf8FromWide(Text(window, vardel::IDC_STEP).c_str()));
    Say("button: " + Utf8FromWide(Text(window, vardel::IDC_START).c_str()));
    return kDone;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const bool known =
        (argc == 2 && (command == L"exit" || command == L"start" || command == L"show")) ||
        (argc == 3 && (command == L"wait-step" || command == L"picture"));
    if (!known) {
        vardel::win32::Say(Utf8FromWide(kUsage), STD_ERROR_HANDLE);
        return kUsageError;
    }
    HWND window = FindVardel();
    if (window == nullptr) {
        Say("VardelSend: no Vardel window");
        return kNotThere;
    }
    if (command == L"exit") {
        // What a button with that identifier would send; no control has it.
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(vardel::IDC_EXIT, BN_CLICKED), 0);
        return kDone;
    }
    if (command == L"start") return PressStart(window);
    if (command == L"wait-step") return WaitForStep(window, argv[2]);
    if (command == L"picture") return Picture(window, argv[2]);
    return Show(window);
}
