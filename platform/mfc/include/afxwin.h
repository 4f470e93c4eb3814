// The MFC-like class subset the user interfaces are written with: strings,
// windows with message maps, dialogs, the application object and its
// command line, and the control classes they use.
#pragma once

#include <commctrl.h>
#include <windows.h>

#include <string>

// ---- CString ----
class CString {
public:
    CString() = default;
    CString(const char* text) : text_(text ? text : "") {}
    CString(const std::string& text) : text_(text) {}
    CString(char c, int count) : text_(static_cast<size_t>(count), c) {}

    operator LPCSTR() const { return text_.c_str(); }
    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    char GetAt(int index) const { return text_[static_cast<size_t>(index)]; }
    int CompareNoCase(LPCSTR other) const { return lstrcmpiA(text_.c_str(), other ? other : ""); }
    int Find(char c, int start = 0) const;
    CString Left(int count) const { return CString(text_.substr(0, static_cast<size_t>(count))); }
    CString Mid(int first) const { return CString(text_.substr(std::min(text_.size(), static_cast<size_t>(first)))); }
    void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
    BOOL LoadString(UINT id);
    const std::string& str() const { return text_; }

    CString& operator=(const char* text) {
        text_ = text ? text : "";
        return *this;
    }
    CString& operator+=(const CString& other) {
        text_ += other.text_;
        return *this;
    }
    CString& operator+=(const char* other) {
        text_ += other ? other : "";
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.text_ + b.text_); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.text_ + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.text_); }
    friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
    friend bool operator==(const CString& a, const char* b) { return a.text_ == (b ? b : ""); }

private:
    std::string text_;
};

// ---- message maps ----
class CCmdTarget;
typedef void (CCmdTarget::*AFX_PMSG)(void);

enum AfxSig {
    AfxSig_end = 0,
    AfxSig_vv,    // void (void): commands and WM_DESTROY
    AfxSig_vw,    // void (UINT_PTR): WM_TIMER
    AfxSig_lwl,   // LRESULT (WPARAM, LPARAM): ON_MESSAGE
    AfxSig_vwwW,  // void (UINT, UINT, CScrollBar*): WM_HSCROLL, WM_VSCROLL
};

// A handler of another signature kept as AFX_PMSG, and back: member
// pointers of one class hierarchy share one size and layout.
template <typename Member>
AFX_PMSG AfxPmsg(Member member) {
    static_assert(sizeof(Member) == sizeof(AFX_PMSG));
    AFX_PMSG stored;
    __builtin_memcpy(&stored, &member, sizeof stored);
    return stored;
}
template <typename Member>
Member AfxHandler(AFX_PMSG stored) {
    static_assert(sizeof(Member) == sizeof(AFX_PMSG));
    Member member;
    __builtin_memcpy(&member, &stored, sizeof member);
    return member;
}

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    UINT_PTR nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                \
        typedef theClass ThisClass;                                                  \
        typedef baseClass TheBaseClass;                                              \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                  \
    {0, 0, 0, 0, AfxSig_end, nullptr}                                                      \
    }                                                                                      \
    ;                                                                                      \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                    \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (WORD)(id), (WORD)(id), AfxSig_vv, static_cast<AFX_PMSG>(&ThisClass::memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) \
    {WM_COMMAND, BN_CLICKED, (WORD)(id), (WORD)(id), AfxSig_vv, static_cast<AFX_PMSG>(&ThisClass::memberFxn)},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, 0, AfxSig_vw, AfxPmsg(static_cast<void (CWnd::*)(UINT_PTR)>(&ThisClass::OnTimer))},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, AfxSig_vv, AfxPmsg(static_cast<void (CWnd::*)()>(&ThisClass::OnDestroy))},
#define ON_WM_HSCROLL()                                                                                 \
    {WM_HSCROLL, 0, 0, 0, AfxSig_vwwW,                                                                  \
     AfxPmsg(static_cast<void (CWnd::*)(UINT, UINT, CScrollBar*)>(&ThisClass::OnHScroll))},
#define ON_MESSAGE(message, memberFxn) \
    {message, 0, 0, 0, AfxSig_lwl, AfxPmsg(static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(&ThisClass::memberFxn))},

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// ---- windows ----
class CScrollBar;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // A wrapper of a window no object owns, kept while the window lives.
    static CWnd* FromHandle(HWND hwnd);
    BOOL Attach(HWND hwnd);
    HWND Detach();

    CWnd* GetDlgItem(int id) const;
    CWnd* GetParent() const;
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    void SetDlgItemText(int id, LPCSTR text) { ::SetDlgItemTextA(m_hWnd, id, text); }
    BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    CWnd* SetFocus();
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);
    virtual BOOL DestroyWindow();
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }

    // Message handling: the message map first, then these, then the default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void PostNcDestroy() {}

    void OnTimer(UINT_PTR) {}
    void OnDestroy() {}
    void OnHScroll(UINT, UINT, CScrollBar*) {}

protected:
    bool owned_ = false;  // an object of ours, not a wrapper
};

class CScrollBar : public CWnd {};

// ---- dialogs ----
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

    virtual INT_PTR DoModal();
    // A modeless dialog.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    LRESULT DefWindowProc(UINT, WPARAM, LPARAM) override { return 0; }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// ---- controls ----
class CStatic : public CWnd {};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(::SendMessageA(m_hWnd, BM_GETCHECK, 0, 0)); }
    void SetCheck(int check) { ::SendMessageA(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short low, short high) { ::SendMessageA(m_hWnd, PBM_SETRANGE, 0, MAKELONG(low, high)); }
    void SetRange32(int low, int high) { ::SendMessageA(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(low), high); }
    int SetPos(int pos) { return static_cast<int>(::SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0)); }
    int GetPos() const { return static_cast<int>(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0)); }
    int SetStep(int step) { return static_cast<int>(::SendMessageA(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0)); }
    int StepIt() { return static_cast<int>(::SendMessageA(m_hWnd, PBM_STEPIT, 0, 0)); }
};

class CSliderCtrl : public CWnd {
public:
    void SetRange(int low, int high, BOOL redraw = FALSE) {
        ::SendMessageA(m_hWnd, TBM_SETRANGE, static_cast<WPARAM>(redraw), MAKELONG(low, high));
    }
    int GetPos() const { return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0)); }
    void SetPos(int pos) { ::SendMessageA(m_hWnd, TBM_SETPOS, TRUE, pos); }
    void SetTicFreq(int frequency) { ::SendMessageA(m_hWnd, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0); }
    int SetPageSize(int size) { return static_cast<int>(::SendMessageA(m_hWnd, TBM_SETPAGESIZE, 0, size)); }
    int SetLineSize(int size) { return static_cast<int>(::SendMessageA(m_hWnd, TBM_SETLINESIZE, 0, size)); }
};

// ---- the application ----
class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // Each parameter in order; flags ("-x", or "/x" without a further '/',
    // which is a native path here) arrive without their first character.
    virtual void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast);
    CString m_strFileName;
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    virtual int Run();
    void SetRegistryKey(LPCSTR key);
    void ParseCommandLine(CCommandLineInfo& info);

    LPCSTR m_pszAppName = nullptr;
    LPCSTR m_pszRegistryKey = nullptr;
    LPCSTR m_pszProfileName = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    int __argc = 0;
    char** __argv = nullptr;

private:
    std::string appName_;
    std::string registryKey_;
    std::string commandLine_;
    friend int AfxWinMain(int argc, char** argv);
};

CWinApp* AfxGetApp();
LPCSTR AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
// The program's entry: makes the application object run.
int AfxWinMain(int argc, char** argv);

#define AFX_IDS_APP_TITLE 0xE000
#define afx_msg
