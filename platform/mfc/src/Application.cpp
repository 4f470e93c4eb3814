// CWinApp: the one application object, its title and registry key, the
// command line, and the program's entry.
#include <afxwin.h>

#include <cstring>

namespace {

CWinApp* theApplication = nullptr;

}  // namespace

void CCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL) {
    if (!bFlag && m_strFileName.IsEmpty()) m_strFileName = pszParam;
}

CWinApp::CWinApp(LPCSTR appName) {
    if (appName) {
        appName_ = appName;
        m_pszAppName = appName_.c_str();
    }
    theApplication = this;
}

CWinApp::~CWinApp() {
    if (theApplication == this) theApplication = nullptr;
}

int CWinApp::Run() { return ExitInstance(); }

void CWinApp::SetRegistryKey(LPCSTR key) {
    registryKey_ = key ? key : "";
    m_pszRegistryKey = registryKey_.c_str();
    m_pszProfileName = m_pszAppName;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    for (int i = 1; i < __argc; ++i) {
        const char* param = __argv[i];
        // "/x" is a flag unless it is a native path ("/tmp/x").
        const bool flag = param[0] == '-' || (param[0] == '/' && std::strchr(param + 1, '/') == nullptr);
        info.ParseParam(flag ? param + 1 : param, flag, i + 1 == __argc);
    }
}

CWinApp* AfxGetApp() { return theApplication; }

LPCSTR AfxGetAppName() { return theApplication && theApplication->m_pszAppName ? theApplication->m_pszAppName : ""; }

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleA(nullptr); }

HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandleA(nullptr); }

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    HWND owner = ::GetActiveWindow();
    return ::MessageBoxA(owner, text, AfxGetAppName(), type);
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = theApplication;
    if (app == nullptr) return 1;
    app->__argc = argc;
    app->__argv = argv;
    app->m_hInstance = ::GetModuleHandleA(nullptr);
    for (int i = 1; i < argc; ++i) {
        if (i > 1) app->commandLine_ += ' ';
        app->commandLine_ += argv[i];
    }
    app->m_lpCmdLine = app->commandLine_.data();
    // The title: the string resource, else the program's name.
    if (app->m_pszAppName == nullptr) {
        char title[256] = {};
        if (::LoadStringA(app->m_hInstance, AFX_IDS_APP_TITLE, title, sizeof title) > 0) {
            app->appName_ = title;
        } else {
            const char* slash = std::strrchr(argv[0], '/');
            app->appName_ = slash ? slash + 1 : argv[0];
        }
        app->m_pszAppName = app->appName_.c_str();
    }
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
