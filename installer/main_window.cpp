// The installer's entry point and main window.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam,
                                                          LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
