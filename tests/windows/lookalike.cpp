// frekuensi-lookalike: a window of another program that carries the monitor's title, as Explorer's
// does when it is open on a folder named Frekuensi. Whatever looks for the monitor must leave it
// alone; it ends when its window is closed, which shows that it was.
#include <windows.h>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"FrekuensiLookAlike";
    RegisterClassW(&windowClass);
    CreateWindowW(L"FrekuensiLookAlike", L"Frekuensi", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                  200, nullptr, nullptr, instance, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
