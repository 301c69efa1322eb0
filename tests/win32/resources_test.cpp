// Vardel.exe as Windows sees it from outside: its icon, version resource and
// manifest.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/resources/Resource.h"
#include "tests/win32/Win32TestSupport.h"

namespace vardel::test {
namespace {

// Vardel.exe and its helpers are built into app/ beside this folder
// (tests/win32/).
std::wstring ProgramFile(const wchar_t* name = L"Vardel.exe") {
    return test::ProgramFolder() + L"..\\..\\app\\" + name;
}

constexpr WORD kChineseSimplified = 0x0804;

// The icon group: a count at byte 4, then an entry of 14 bytes per image,
// its width in the entry's first byte, its bits per pixel in bytes 6 and 7.
TEST(Win32Resources, TheIconHoldsNineImagesIn48And32And16PixelsAtThreeDepths) {
    HMODULE program = ::LoadLibraryExW(ProgramFile().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr);
    HRSRC found = ::FindResourceExW(program, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */,
                                    MAKEINTRESOURCEW(IDR_MAINFRAME), kChineseSimplified);
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const BYTE*>(::LockResource(::LoadResource(program, found)));
    const auto word = [group](int at) { return group[at] | group[at + 1] << 8; };
    std::vector<std::pair<int, int>> images;
    for (int entry = 6; entry < 6 + 14 * word(4); entry += 14) {
        images.emplace_back(group[entry], word(entry + 6));
    }
    const std::vector<std::pair<int, int>> expected = {
        {48, 24}, {48, 8}, {48, 4}, {32, 24}, {32, 8}, {32, 4}, {16, 24}, {16, 8}, {16, 4}};
    EXPECT_EQ(images, expected);
    ::FreeLibrary(program);
}

TEST(Win32Resources, TheVersionResourceIsChineseSimplified1001AndNamesVardel40) {
    const std::wstring file = ProgramFile();
    DWORD ignored = 0;
    std::vector<BYTE> data(::GetFileVersionInfoSizeW(file.c_str(), &ignored));
    ASSERT_FALSE(data.empty());
    ASSERT_NE(::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()),
              FALSE);
    void* value = nullptr;
    UINT size = 0;
    ASSERT_NE(::VerQueryValueW(data.data(), L"\\", &value, &size), FALSE);
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileOS, 4u);
    EXPECT_EQ(fixed->dwFileType, 1u);

    ASSERT_NE(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &size), FALSE);
    const auto* language = static_cast<const WORD*>(value);
    EXPECT_EQ(language[0], kChineseSimplified);
    EXPECT_EQ(language[1], 1200) << "Unicode";

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"Vardel"},  {L"ProductName", L"Vardel"},
        {L"FileVersion", L"4.0"},         {L"ProductVersion", L"4.0"},
        {L"InternalName", L"Vardel.exe"}, {L"OriginalFilename", L"Vardel.exe"}};
    for (const auto& [name, expected] : strings) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
        ASSERT_NE(::VerQueryValueW(data.data(), path.c_str(), &value, &size), FALSE);
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), expected);
    }
}

// The manifest as the system's loader reads it: linked in, well formed, and
// each setting in the namespace where Windows looks for it (a setting in the
// wrong one is silently ignored).
TEST(Win32Resources, EachProgramsManifestRunsAsInvokerDpiAwareOnWindows7To11WithCommonControls6) {
    for (const wchar_t* name : {L"Vardel.exe", L"VardelSend.exe", L"DebugLines.exe"}) {
        SCOPED_TRACE(name);
        const std::wstring file = ProgramFile(name);
        ACTCTXW request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = file.c_str();
        request.lpResourceName = MAKEINTRESOURCEW(1);  // the program's own manifest
        HANDLE context = ::CreateActCtxW(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();

        const std::tuple<const wchar_t*, const wchar_t*, std::wstring> settings[] = {
            {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true"},
            {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
             L"PerMonitorV2, System"}};
        for (const auto& [space, setting, expected] : settings) {
            wchar_t value[64] = {};
            ::QueryActCtxSettingsW(0, context, space, setting, value, 64, nullptr);
            EXPECT_EQ(value, expected) << setting;
        }
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
        ::QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                       sizeof level, nullptr);
        EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
        DWORD compatibility[64] = {};  // a count, then one GUID and type per system
        ::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                       compatibility, sizeof compatibility, nullptr);
        EXPECT_EQ(compatibility[0], 4u) << "Windows 7, 8, 8.1, 10 and 11";

        ULONG_PTR cookie = 0;
        ASSERT_NE(::ActivateActCtx(context, &cookie), FALSE);
        ACTCTX_SECTION_KEYED_DATA comctl32{};
        comctl32.cbSize = sizeof comctl32;
        EXPECT_NE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                             L"comctl32.dll", &comctl32),
                  FALSE)
            << "no Common Controls 6";
        ::DeactivateActCtx(0, cookie);
        ::ReleaseActCtx(context);
    }
}

}  // namespace
}  // namespace vardel::test
