#include "CustomCommandLineInfo.h"

void CCustomCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL) {
    // A parameter that looked like a flag is still a parameter: give it back
    // the '-' or '/' the parser took.
    CString parameter = pszParam;
    if (bFlag) {
        const char* full = AfxGetApp() && count_ + 1 < AfxGetApp()->__argc ? AfxGetApp()->__argv[count_ + 1] : nullptr;
        parameter = full ? CString(full) : CString("-") + parameter;
    }
    if (count_ == 0) m_libraryFile = parameter;
    else if (count_ == 1) m_modelName = parameter;
    ++count_;
}
