// The guard on Windows: a named mutex, in the Global namespace for the machine's, in the session's
// Local one and named with the user's SID for a user's (a program started as another user in this
// session has a guard of its own), and a message-only window of the monitor's own class, titled
// with the program's path, through which a second start of the same session, and the installer,
// reach the running monitor (or demo).
#include "singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <iterator>
#include <vector>

#include <qt_windows.h>

#include <sddl.h>

namespace {

const wchar_t kWindowClass[] = L"FrekuensiMonitor";
// Asks the monitor to bring its window forward.
constexpr UINT kForward = WM_APP + 1;

// Whether the window is a running monitor's: its process runs an executable of this program's
// name, and titled its window with that executable's path, as the monitor does. Any program of
// the session can make a window of the class; only this program's is asked to come forward.
bool isMonitorWindow(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    wchar_t image[MAX_PATH * 2];
    DWORD size = DWORD(std::size(image));
    const bool known = QueryFullProcessImageNameW(process, 0, image, &size);
    CloseHandle(process);
    if (!known)
        return false;
    const QString path = QString::fromWCharArray(image, int(size));
    wchar_t title[MAX_PATH * 2];
    const int length = GetWindowTextW(window, title, int(std::size(title)));
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QFileInfo(path).fileName().compare(own, Qt::CaseInsensitive) == 0 &&
           QString::fromWCharArray(title, length).compare(path, Qt::CaseInsensitive) == 0;
}

// The user's SID as text ("S-1-5-21-…"); empty when the system does not tell it.
QString userSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    QString text;
    LPWSTR sid = nullptr;
    if (size && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid)) {
        text = QString::fromWCharArray(sid);
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

LRESULT CALLBACK monitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *instance = reinterpret_cast<SingleInstance *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (instance && message == kForward) {
        emit instance->forwardRequested();
        return 0;
    }
    // The installer's request, the same as the window's close control.
    if (instance && message == WM_CLOSE) {
        emit instance->closeRequested();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

struct SingleInstance::Guard
{
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    HWND running = nullptr; // the first start's, found by a second one

    ~Guard()
    {
        if (window)
            DestroyWindow(window);
        if (mutex)
            CloseHandle(mutex);
    }
};

SingleInstance::SingleInstance(const QString &key, Scope scope, QObject *parent)
    : QObject(parent), m_key(key), m_scope(scope)
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    m_guard = std::make_unique<Guard>();
    QString name = u"Global\\Frekuensi-"_qs + m_key;
    if (m_scope == Scope::User) {
        const QString sid = userSid();
        name = u"Local\\Frekuensi-"_qs + m_key + (sid.isEmpty() ? QString() : u'-' + sid);
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    const DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        m_guard->mutex = mutex;
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = monitorWindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);
        const QString path = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
        m_guard->window = CreateWindowExW(0, kWindowClass, reinterpret_cast<LPCWSTR>(path.utf16()),
                                          0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        if (m_guard->window)
            SetWindowLongPtrW(m_guard->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return Claim::First;
    }
    if (mutex)
        CloseHandle(mutex);
    else if (error != ERROR_ACCESS_DENIED) {
        qWarning("Frekuensi's guard cannot be made (%s): not guarded",
                 qPrintable(qt_error_string(int(error))));
        return Claim::First;
    }
    // Held. Message-only windows are found in this session only: a monitor's there is this user's
    // monitor; none, another user's (the mutex of another session's user may even refuse this one).
    for (HWND window = nullptr;
         (window = FindWindowExW(HWND_MESSAGE, window, kWindowClass, nullptr)) != nullptr;) {
        if (isMonitorWindow(window)) {
            m_guard->running = window;
            return Claim::SameUser;
        }
    }
    return Claim::OtherUser;
}

bool SingleInstance::bringForward()
{
    if (!m_guard || !m_guard->running)
        return false;
    // The running monitor may take the foreground, which Windows gives only when allowed.
    DWORD process = 0;
    GetWindowThreadProcessId(m_guard->running, &process);
    AllowSetForegroundWindow(process);
    return PostMessageW(m_guard->running, kForward, 0, 0);
}

void SingleInstance::release()
{
    m_guard.reset();
}
