// The picture's own commands: "Save picture…" (PNG through the system's imaging component,
// or BMP) and "Copy picture" (a device-independent bitmap on the clipboard), from the
// picture's menu or with Ctrl+S and Ctrl+C.
#include "shell.h"

#include "app/commands.h"
#include "engine/display.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincodec.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The picture as the window shows it, as a 24-bit device-independent bitmap: rows bottom-up,
// each padded to a multiple of four bytes.
struct ShownPicture {
    BITMAPINFOHEADER header;
    std::vector<unsigned char> bits;
    int stride() const { return (header.biWidth * 3 + 3) & ~3; }
};

// The composite bitmap stretched to the picture area exactly as painting stretches it, so
// that what is kept is what the window shows (the frozen picture while paused), whether or
// not the window is covered. False when the area is empty or GDI fails.
bool take_picture(HWND window, ShownPicture *picture) {
    const RECT area = picture_area(window);
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    picture->header = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    picture->bits.assign(static_cast<std::size_t>(picture->stride()) * height, 0);
    HDC screen = GetDC(window);
    HDC source = CreateCompatibleDC(screen), target = CreateCompatibleDC(screen);
    HBITMAP shown = CreateCompatibleBitmap(screen, width, height);
    bool ok = source && target && shown;
    if (ok) {
        HGDIOBJ kept_source = SelectObject(source, composite_bitmap());
        HGDIOBJ kept_target = SelectObject(target, shown);
        SetStretchBltMode(target, WHITEONBLACK); // as painting does
        ok = StretchBlt(target, 0, 0, width, height, source, 0, 0, kPictureWidth, kPictureHeight,
                        SRCCOPY);
        SelectObject(source, kept_source);
        SelectObject(target, kept_target);
        ok = ok &&
             GetDIBits(screen, shown, 0, height, picture->bits.data(),
                       reinterpret_cast<BITMAPINFO *>(&picture->header), DIB_RGB_COLORS) == height;
    }
    if (shown)
        DeleteObject(shown);
    if (source)
        DeleteDC(source);
    if (target)
        DeleteDC(target);
    ReleaseDC(window, screen);
    return ok;
}

// The system's words for an error code (a Win32 error or an HRESULT).
std::wstring system_text(DWORD error) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring said = length ? std::wstring(text, length) : L"Error " + std::to_wstring(error);
    LocalFree(text);
    return said;
}

void say_failure(HWND window, const std::wstring &what, DWORD error) {
    const std::wstring text = what + L"\n\n" + system_text(error);
    MessageBoxW(window, text.c_str(), L"Save picture", MB_OK | MB_ICONWARNING);
}

void copy_picture(HWND window) {
    ShownPicture picture;
    if (!take_picture(window, &picture))
        return; // no picture is shown
    const SIZE_T bytes = sizeof(picture.header) + picture.bits.size();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    auto *packed = memory ? static_cast<unsigned char *>(GlobalLock(memory)) : nullptr;
    if (packed) {
        std::memcpy(packed, &picture.header, sizeof(picture.header));
        std::memcpy(packed + sizeof(picture.header), picture.bits.data(), picture.bits.size());
        GlobalUnlock(memory);
    }
    // Another program may hold the clipboard for a moment (one reading it, a clipboard
    // manager): try again for a while before saying it failed.
    bool open = false;
    for (int attempt = 0; packed && attempt < 25 && !(open = OpenClipboard(window)); ++attempt)
        Sleep(20);
    // The clipboard owns the memory once it took it.
    bool copied = false;
    if (open) {
        copied = EmptyClipboard() && SetClipboardData(CF_DIB, memory);
        CloseClipboard();
    }
    if (!copied) {
        const DWORD error = GetLastError();
        if (memory)
            GlobalFree(memory);
        MessageBoxW(window, (L"The picture could not be copied.\n\n" + system_text(error)).c_str(),
                    L"Copy picture", MB_OK | MB_ICONWARNING);
    }
}

// A BMP file: the file header, then the bitmap as the clipboard holds it.
HRESULT write_bmp(const wchar_t *path, const ShownPicture &picture) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const DWORD size = offset + static_cast<DWORD>(picture.bits.size());
    const BITMAPFILEHEADER header = {0x4D42, size, 0, 0, offset}; // "BM"
    DWORD written = 0;
    const bool ok = WriteFile(file, &header, sizeof(header), &written, nullptr) &&
                    written == sizeof(header) &&
                    WriteFile(file, &picture.header, sizeof(picture.header), &written, nullptr) &&
                    written == sizeof(picture.header) &&
                    WriteFile(file, picture.bits.data(), static_cast<DWORD>(picture.bits.size()),
                              &written, nullptr) &&
                    written == picture.bits.size() && FlushFileBuffers(file);
    const DWORD error = ok ? 0 : GetLastError();
    const bool closed = CloseHandle(file);
    if (ok && closed)
        return S_OK;
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL; // a short write sets no error
}

template <typename T> void release(T *&object) {
    if (object)
        object->Release();
    object = nullptr;
}

// A PNG file through the Windows Imaging Component: every Windows since XP SP3 has it, and
// it is reached through COM, so nothing but system DLLs is needed.
HRESULT write_png(const wchar_t *path, const ShownPicture &picture) {
    IWICImagingFactory *factory = nullptr;
    IWICStream *stream = nullptr;
    IWICBitmapEncoder *encoder = nullptr;
    IWICBitmapFrameEncode *frame = nullptr;
    const UINT width = picture.header.biWidth, height = picture.header.biHeight;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void **>(&factory));
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path, GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    // The encoder takes rows top-down; the bitmap holds them bottom-up.
    const UINT stride = picture.stride();
    for (UINT row = 0; SUCCEEDED(hr) && row < height; ++row) {
        hr = frame->WritePixels(1, stride, stride,
                                const_cast<BYTE *>(picture.bits.data()) +
                                    static_cast<std::size_t>(height - 1 - row) * stride);
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    release(frame);
    release(encoder);
    if (stream && SUCCEEDED(hr))
        hr = stream->Commit(STGC_DEFAULT);
    release(stream);
    release(factory);
    return hr;
}

bool ends_with_bmp(const std::wstring &path) {
    return path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".bmp") == 0;
}

// Writes the picture beside the chosen file (a new file of its own in the same folder),
// then puts it in the file's place in one step: the file appears whole or not at all, and a
// file that was there stays as it was unless everything succeeded. The dialog has asked
// before a file is replaced.
void write_picture(HWND window, const std::wstring &path, const ShownPicture &picture) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    wchar_t beside[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"snv", 0, beside)) {
        say_failure(window, L"The picture could not be saved in \"" + folder + L"\".",
                    GetLastError());
        return;
    }
    HRESULT hr = ends_with_bmp(path) ? write_bmp(beside, picture) : write_png(beside, picture);
    if (SUCCEEDED(hr) &&
        !MoveFileExW(beside, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        hr = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(hr)) {
        DeleteFileW(beside);
        say_failure(window, L"The picture could not be saved as \"" + path + L"\".", hr);
    }
}

// The picture is taken when the command comes, before the dialog covers anything.
void save_picture(HWND window) {
    ShownPicture picture;
    if (!take_picture(window, &picture)) {
        MessageBoxW(window, L"The window shows no picture to save.", L"Save picture",
                    MB_OK | MB_ICONWARNING);
        return;
    }
    // The common dialog and the imaging component are COM objects of this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The dated name in My Pictures, as a full path: the dialog opens there every time.
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path)) ||
        lstrlenW(path) > MAX_PATH - 40) // no room for the name: the name alone
        path[0] = L'\0';
    else
        lstrcatW(path, L"\\");
    SYSTEMTIME now;
    GetLocalTime(&now);
    wsprintfW(path + lstrlenW(path), L"Sonavex %04u-%02u-%02u %02u-%02u-%02u", now.wYear,
              now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"PNG image (*.png)\0*.png\0BMP image (*.bmp)\0*.bmp\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = L"Save picture";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = L"png";
    if (GetSaveFileNameW(&dialog))
        write_picture(window, path, picture);
    else if (const DWORD error = CommDlgExtendedError())
        say_failure(window, L"The save dialog could not be shown.", error);
    if (SUCCEEDED(com))
        CoUninitialize();
}

} // namespace

bool run_picture_command(HWND window, int command) {
    switch (command) {
    case IDM_SAVE_PICTURE:
        save_picture(window);
        return true;
    case IDM_COPY_PICTURE:
        copy_picture(window);
        return true;
    default:
        return false;
    }
}

LRESULT picture_key_down(HWND window, WPARAM key, LPARAM flags) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (control && (key == 'S' || key == 'C'))
        run_picture_command(window, key == 'S' ? IDM_SAVE_PICTURE : IDM_COPY_PICTURE);
    else
        return DefWindowProcA(window, WM_KEYDOWN, key, flags);
    return 0;
}
