// vespra.exe's runtime pieces (system/lean_terminate_win32.cpp, linked in here as
// there) on eight threads at once: one function-local static they all reach first
// together, library errors thrown and caught on each, and an initialiser that
// throws once. Prints "inits I caught C retries R"; exit code 0 when it ran.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
const int kThreads = 8;
LONG g_inits = 0, g_caught = 0, g_tries = 0;
HANDLE g_go = nullptr;

int SlowInit() {
    ::InterlockedIncrement(&g_inits);
    for (volatile int i = 0; i < 2000000; ++i) {
    }
    return 42;
}

int Shared() {
    static const int value = SlowInit();
    return value;
}

int FailsFirst() {
    if (::InterlockedIncrement(&g_tries) == 1)
        throw 1;
    return 7;
}

DWORD WINAPI Worker(void *) {
    ::WaitForSingleObject(g_go, INFINITE);
    if (Shared() != 42)
        return 1;
    try {
        std::string s;
        s.reserve(s.max_size() + 1); // a length error
    } catch (...) {
        ::InterlockedIncrement(&g_caught);
    }
    try {
        std::vector<int> v(3);
        return DWORD(v.at(5)); // out of range
    } catch (...) {
        ::InterlockedIncrement(&g_caught);
    }
    return 0;
}
} // namespace

int main() {
    g_go = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[kThreads];
    for (HANDLE &t : threads)
        if (!(t = ::CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr)))
            return 2;
    ::SetEvent(g_go);
    ::WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE t : threads) {
        DWORD code = 1;
        if (!::GetExitCodeThread(t, &code) || code != 0)
            return 3;
    }
    int retried = 0;
    for (int i = 0; i < 2; ++i) {
        try {
            static const int once = FailsFirst();
            retried = once;
        } catch (int) {
        }
    }
    std::printf("inits %ld caught %ld retries %ld value %d\n", g_inits, g_caught, g_tries, retried);
    return 0;
}
