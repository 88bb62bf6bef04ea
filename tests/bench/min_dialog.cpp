// The reference of the start-up and memory benchmarks: the least a dialog program
// can be, built with the same compiler and link flags as vespra.exe. One modal
// dialog with one static text; it ends on WM_CLOSE.
#include <windows.h>

namespace {
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(101), nullptr, DialogProc, 0));
}
